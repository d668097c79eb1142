// The name a save dialog suggests for a recording: the program's name and
// the local date and minute, "vocalume-2026-12-08-1402.wav", so that takes
// saved one after another sort in order and never suggest a name in use a
// minute later. Pure function, any thread.
#pragma once

#include <ctime>
#include <string>

namespace vocalume {

std::string SuggestedRecordingName(std::time_t now);

}  // namespace vocalume
