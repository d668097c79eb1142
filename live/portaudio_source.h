// The live input through PortAudio's default recording device, at the
// recording rate where the device takes it, otherwise at the device's own
// rate and converted.
#pragma once

#include <memory>

#include "sound_source.h"

namespace vocalume {

std::unique_ptr<SoundSource> MakePortAudioSoundSource();

}  // namespace vocalume
