// The live input of the desktop program: the desktop's sound server where one
// answers, otherwise the system's default recording device through PortAudio.
// Opening, stopping and closing it never keep the caller waiting on a device
// or server for more than a few seconds (opening) or a fraction of a second
// (stopping, closing); a device lost while recording is reported to the sink.
#pragma once

#include <memory>
#include <vector>

#include "sound_source.h"

namespace vocalume {

std::unique_ptr<SoundSource> MakeLiveSoundSource();

// The inputs there are now, for the user to choose from (the default input
// not among them); read afresh at every call, within about a second.
std::vector<InputChoice> ListLiveInputs();

}  // namespace vocalume
