#include "renderer.h"

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

}  // namespace vocalume
