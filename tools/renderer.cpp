#include "renderer.h"

#include "model_lane.h"

namespace vocalume {

std::string RenderSoundFile(const RenderOptions& options, RenderedPicture& picture,
                            const RenderProgress& progress)
{
    AnalysisProgress shown;
    if (progress)
        shown = [&progress](double share) {
            if (share >= 0)
                progress(share);
            return true;
        };
    return AnalyseSoundFile(options.input, options, picture, shown);
}

std::string ReviewSoundFiles(const RenderOptions& options, const std::string& modelPath, TakeReview& review,
                             const RenderProgress& progress)
{
    // The take and the model as the program keeps them: a session each,
    // whose columns are descriptions; the picture itself is not wanted, so
    // it is drawn a few rows high.
    constexpr int32_t kStripHeight = 16;
    AnalysisOptions analysis = options;
    analysis.pitchLine = false;
    analysis.height = kStripHeight;
    const auto share = [&progress](double from) -> AnalysisProgress {
        return [&progress, from](double part) {
            if (progress && part >= 0)
                progress(from + 0.5 * part);
            return true;
        };
    };
    analysis.whole = analysis.session = true;
    analysis.tooLongFor = "to be aligned";
    analysis.tooLongAdvice = "Align a shorter take, or cut this one shorter with a sound editor.";
    RenderedPicture take;
    std::string problem = AnalyseSoundFile(options.input, analysis, take, share(0.0));
    if (problem.empty() && !take.session)
        problem = SoundFileName(options.input) + " holds no sound";
    SessionHistory model(1);  // replaced whole by the analysis
    if (problem.empty())
        problem = AnalyseModelFile(modelPath, analysis, model, share(0.5));
    if (!problem.empty())
        return problem;
    review = ReviewTake(CopyTake(*take.session, 0, take.session->EndFrame()), CopyTake(model, 0, model.EndFrame()));
    return {};
}

}  // namespace vocalume
