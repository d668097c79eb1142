// Recorded twiddle tables and the choice of kernel build. See
// simd_kernels.h.
#include "simd_kernels.h"

#include <algorithm>
#include <atomic>
#include <memory>

#include "signal_kernels.h"
#if VOCALUME_X86_KERNELS
#include "simd_kernels_x86.h"
#endif

namespace vocalume::simd {
namespace {

void RecordTwiddles(FftTwiddles& tw, int32_t direction)
{
    // The butterfly stages: the recurrence of ComplexFFT, value for value.
    for (int32_t mmax = 2; mmax <= kMaxComplexPoints; mmax *= 2) {
        const int32_t hs = mmax / 2;
        TwiddleRecurrence w(kTwoPiTransform / (direction * mmax));
        for (int32_t p = 0; p < hs; ++p) {
            double* re = tw.stageRe + 2 * (hs + p);
            double* im = tw.stageIm + 2 * (hs + p);
            re[0] = w.wr;
            re[1] = w.wr;
            im[0] = w.wi;
            im[1] = -w.wi;
            w.Advance();
        }
    }
    // The untangling loop of RealFFT for every n.
    for (int32_t n = 4; n <= kMaxComplexPoints; n *= 2) {
        double theta = kPi / n;
        if (direction != 1)
            theta = -theta;
        TwiddleRecurrence w(theta);
        w.wr = 1.0 + w.wpr;
        w.wi = w.wpi;
        for (int32_t i = 2; i <= n / 2; ++i) {
            double* re = tw.postRe + 2 * (n / 2 + i - 2);
            double* im = tw.postIm + 2 * (n / 2 + i - 2);
            re[0] = w.wr;
            re[1] = w.wr;
            im[0] = w.wi;
            im[1] = w.wi;
            w.Advance();
        }
    }
}

std::unique_ptr<FftTwiddles> MakeTwiddles(int32_t direction)
{
    auto tw = std::make_unique<FftTwiddles>();
    RecordTwiddles(*tw, direction);
    return tw;
}

Level DetectLevel()
{
#if VOCALUME_SSE2_ONLY
    return Level::kSse2;
#elif VOCALUME_X86_KERNELS
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return Level::kAvx2;
    return Level::kSse2;
#else
    return Level::kPortable;
#endif
}

std::atomic<const Kernels*>& ActivePointer()
{
    static std::atomic<const Kernels*> active{&ForLevel(BestLevel())};
    return active;
}

}  // namespace

const FftTwiddles& Twiddles(int32_t direction)
{
    // Never freed: a worker may still be transforming while the program's
    // statics are destroyed at exit.
    static const FftTwiddles* const forward = MakeTwiddles(1).release();
    static const FftTwiddles* const inverse = MakeTwiddles(-1).release();
    return direction == 1 ? *forward : *inverse;
}

Level BestLevel()
{
    static const Level best = DetectLevel();
    return best;
}

const Kernels& ForLevel(Level level)
{
    const Level chosen = std::min(level, BestLevel());
#if VOCALUME_X86_KERNELS
#if !VOCALUME_SSE2_ONLY
    if (chosen == Level::kAvx2)
        return Avx2Kernels();
#endif
    if (chosen == Level::kSse2)
        return Sse2Kernels();
#endif
    (void)chosen;
    return PortableKernels();
}

void UseLevel(Level level)
{
    ActivePointer().store(&ForLevel(level), std::memory_order_relaxed);
}

const Kernels& Active()
{
    return *ActivePointer().load(std::memory_order_relaxed);
}

}  // namespace vocalume::simd
