// The page's file work, run in a worker of its own with its own instance of
// the program, as the desktop runs it on a thread with a view of its own:
// opening a recording or a model, and the frame table. Nothing here touches
// the page's view; results travel back as bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "file_analysis.h"

namespace vocalume {

// The options the page's view analyses with (CWebHost::AnalysisOptionsNow).
AnalysisOptions OptionsFromIntegers(const int32_t* values);

}  // namespace vocalume
