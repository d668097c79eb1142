// Headless rendering of a sound file for vocalume-render: the shared file
// analysis (file_analysis.h) run on a path, with the tool's options.
#pragma once

#include <functional>
#include <string>

#include "file_analysis.h"
#include "take_review.h"

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

// Analyses `options.input` (the take) and `modelPath` (the model it
// imitates) as the program analyses a model, the whole of each with its
// pitch, and reviews the take against the model into `review`. Returns what
// RenderSoundFile returns for either file.
std::string ReviewSoundFiles(const RenderOptions& options, const std::string& modelPath, TakeReview& review,
                             const RenderProgress& progress = {});

}  // namespace vocalume
