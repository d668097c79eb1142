// The analysis of a sound file alone (every frame in full, nothing painted),
// timed per frame: built natively and for the browser, so that
// bench/web_bench.js can set the two side by side in one run.
//
//   vocalume-analysis-timing FILE [RUNS]   prints "frames N ns_per_frame X" (the best run)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "file_analysis.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: vocalume-analysis-timing FILE [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    vocalume::AnalysisOptions options;
    options.sampling = 1;
    options.paint = false;
    // One thread, as the browser's page analyses: the time per frame is the
    // analysis itself, not how many cores share it.
    options.threads = 1;
    double best = 0.0;
    int64_t frames = 0;
    for (int run = 0; run < runs; ++run) {
        vocalume::RenderedPicture picture;
        const auto begin = std::chrono::steady_clock::now();
        const std::string problem = vocalume::AnalyseSoundFile(argv[1], options, picture);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        if (!problem.empty()) {
            std::fprintf(stderr, "%s\n", problem.c_str());
            return 1;
        }
        frames = picture.frames;
        if (run == 0 || seconds < best)
            best = seconds;
    }
    std::printf("frames %lld ns_per_frame %.1f\n", static_cast<long long>(frames),
                best * 1e9 / static_cast<double>(frames > 0 ? frames : 1));
    return 0;
}
