// The live input through the desktop's sound server, where there is one.
#pragma once

#include <memory>

#include "sound_source.h"

namespace vocalume {

// A source whose Open fails when no sound server answers (the caller then
// tries the sound system's devices directly).
std::unique_ptr<SoundSource> MakePulseSoundSource();

}  // namespace vocalume
