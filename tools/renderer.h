// Headless rendering of a sound file for vocalume-render: the shared file
// analysis (file_analysis.h) run on a path, with the tool's options.
#pragma once

#include <functional>
#include <string>

#include "file_analysis.h"

namespace vocalume {

struct RenderOptions : AnalysisOptions {
    std::string input;
};

// Called now and then with the share of the work done, 0 to 1.
using RenderProgress = std::function<void(double)>;

// Renders `options.input` (kStandardInput: standard input, read once) into
// `picture`. Returns an empty string on success, else one line saying what is
// wrong with the input, or that the picture does not fit in memory.
std::string RenderSoundFile(const RenderOptions& options, RenderedPicture& picture,
                            const RenderProgress& progress = {});

}  // namespace vocalume
