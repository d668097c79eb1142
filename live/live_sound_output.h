// The desktop program's sound output: the desktop's sound server where one
// answers, otherwise the sound system's default output through PortAudio.
// Playing and stopping never keep the caller waiting on a device or server
// for more than two seconds (opening) or a fraction of a second (stopping).
#pragma once

#include <memory>

#include "sound_output.h"

namespace vocalume {

std::unique_ptr<SoundOutput> MakeLiveSoundOutput();

}  // namespace vocalume
