// Recorded twiddle tables, the choice of vector build, and the SSE2 build of
// the vectorised kernels. See simd_kernels.h; the level arithmetic is
// explained at SpectrumLevels.
#include "simd_kernels.h"

#include <emmintrin.h>

#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>

#include "signal_kernels.h"

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

const Kernels kSse2Kernels = {sse2::FftStages, sse2::RealFftUntangle, sse2::LagProducts, sse2::SpectrumLevels};
const Kernels kAvx2Kernels = {avx2::FftStages, avx2::RealFftUntangle, avx2::LagProducts, avx2::SpectrumLevels};

Level DetectLevel()
{
#if defined(__GNUC__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return Level::kAvx2;
#endif
    return Level::kSse2;
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
    return level == Level::kAvx2 && BestLevel() == Level::kAvx2 ? kAvx2Kernels : kSse2Kernels;
}

Level ActiveLevel()
{
    return ActivePointer().load(std::memory_order_relaxed) == &kAvx2Kernels ? Level::kAvx2 : Level::kSse2;
}

void UseLevel(Level level)
{
    ActivePointer().store(&ForLevel(level), std::memory_order_relaxed);
}

const Kernels& Active()
{
    return *ActivePointer().load(std::memory_order_relaxed);
}

namespace sse2 {
namespace {

// Two single-precision values (one complex point) widened to double.
inline __m128d Load2(const float* p)
{
    return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
}

// Two doubles rounded to single precision and stored.
inline void Store2(float* p, __m128d v)
{
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_castps_si128(_mm_cvtpd_ps(v)));
}

}  // namespace

namespace {

// The two halves of v swapped, by the integer shuffle, which leaves v in its
// register (the double one overwrites its operand and costs a copy).
inline __m128d Swap(__m128d v)
{
    return _mm_castsi128_pd(_mm_shuffle_epi32(_mm_castpd_si128(v), _MM_SHUFFLE(1, 0, 3, 2)));
}

// The twiddle product {wr*re - wi*im, wr*im + wi*re} of a point; wiNeg holds
// {wi, -wi} so that the second lane is wr*im - (-wi)*re, which is
// wr*im + wi*re to the bit.
inline __m128d Twiddle(__m128d wr, __m128d wiNeg, __m128d v)
{
    return _mm_sub_pd(_mm_mul_pd(wr, v), _mm_mul_pd(wiNeg, Swap(v)));
}

// Rounds to single precision and back, as storing and reloading would.
inline __m128d Round(__m128d v)
{
    return _mm_cvtps_pd(_mm_cvtpd_ps(v));
}

}  // namespace

void FftStages(float* d, int32_t n, const FftTwiddles& tw)
{
    int32_t hs = 1;
    if (n >= 4) {
        // The first two stages together, four points at a time: points 0
        // and 1 and points 2 and 3 with the twiddle of stage 1, then points
        // 0 and 2 and points 1 and 3 with the two twiddles of stage 2.
        const __m128d wr1 = _mm_load_pd(tw.stageRe + 2), wi1 = _mm_load_pd(tw.stageIm + 2);
        const __m128d wr20 = _mm_load_pd(tw.stageRe + 4), wi20 = _mm_load_pd(tw.stageIm + 4);
        const __m128d wr21 = _mm_load_pd(tw.stageRe + 6), wi21 = _mm_load_pd(tw.stageIm + 6);
        for (int32_t k = 0; k < n; k += 4) {
            float* p = d + 2 * k;
            const __m128 v0 = _mm_loadu_ps(p);
            const __m128 v1 = _mm_loadu_ps(p + 4);
            const __m128d q0 = _mm_cvtps_pd(v0), q1 = _mm_cvtps_pd(_mm_movehl_ps(v0, v0));
            const __m128d q2 = _mm_cvtps_pd(v1), q3 = _mm_cvtps_pd(_mm_movehl_ps(v1, v1));
            const __m128d t1 = Twiddle(wr1, wi1, q1);
            const __m128d t3 = Twiddle(wr1, wi1, q3);
            const __m128d a0 = Round(_mm_add_pd(q0, t1)), a1 = Round(_mm_sub_pd(q0, t1));
            const __m128d a2 = Round(_mm_add_pd(q2, t3)), a3 = Round(_mm_sub_pd(q2, t3));
            const __m128d u2 = Twiddle(wr20, wi20, a2);
            const __m128d u3 = Twiddle(wr21, wi21, a3);
            _mm_storeu_ps(p, _mm_movelh_ps(_mm_cvtpd_ps(_mm_add_pd(a0, u2)), _mm_cvtpd_ps(_mm_add_pd(a1, u3))));
            _mm_storeu_ps(p + 4, _mm_movelh_ps(_mm_cvtpd_ps(_mm_sub_pd(a0, u2)), _mm_cvtpd_ps(_mm_sub_pd(a1, u3))));
        }
        hs = 4;
    }
    if (n == 2) {
        // The single butterfly of a two-point transform.
        const __m128d d0 = Load2(d);
        const __m128d t = Twiddle(_mm_load_pd(tw.stageRe + 2), _mm_load_pd(tw.stageIm + 2), Load2(d + 2));
        Store2(d + 2, _mm_sub_pd(d0, t));
        Store2(d, _mm_add_pd(d0, t));
        return;
    }
    // The other stages two twiddles (two neighbouring butterflies) a step,
    // which halves the loop's own instructions (hs is 4 or more here).
    for (; hs < n; hs *= 2) {
        const int32_t step = 2 * hs;
        for (int32_t p = 0; p < hs; p += 2) {
            const __m128d wr0 = _mm_load_pd(tw.stageRe + 2 * (hs + p));  // {wr, wr}
            const __m128d wi0 = _mm_load_pd(tw.stageIm + 2 * (hs + p));  // {wi, -wi}
            const __m128d wr1 = _mm_load_pd(tw.stageRe + 2 * (hs + p + 1));
            const __m128d wi1 = _mm_load_pd(tw.stageIm + 2 * (hs + p + 1));
            for (int32_t k = p; k < n; k += step) {
                float* pk = d + 2 * k;
                float* pj = pk + step;
                const __m128d dk0 = Load2(pk), dk1 = Load2(pk + 2);
                const __m128d t0 = Twiddle(wr0, wi0, Load2(pj));
                const __m128d t1 = Twiddle(wr1, wi1, Load2(pj + 2));
                Store2(pj, _mm_sub_pd(dk0, t0));
                Store2(pj + 2, _mm_sub_pd(dk1, t1));
                Store2(pk, _mm_add_pd(dk0, t0));
                Store2(pk + 2, _mm_add_pd(dk1, t1));
            }
        }
    }
}

void RealFftUntangle(float* d, int32_t n, int32_t iFirst, int32_t iLast, double c2, const FftTwiddles& tw)
{
    const __m128d c1 = _mm_set1_pd(0.5);
    const __m128d c2v = _mm_set_pd(c2, -c2);
    const __m128d signLo = _mm_set_pd(0.0, -0.0);
    const __m128d signHi = _mm_set_pd(-0.0, 0.0);
    for (int32_t i = iFirst; i <= iLast; ++i) {
        float* p1 = d + 2 * (i - 1);      // d(i1), d(i2)
        float* p3 = d + 2 * (n + 1 - i);  // d(i3), d(i4)
        const __m128d a = Load2(p1);
        const __m128d b = Load2(p3);
        const __m128d s = _mm_add_pd(a, b);                                // {a1 + a3, a2 + a4}
        const __m128d m = _mm_sub_pd(a, b);                                // {a1 - a3, a2 - a4}
        const __m128d h1 = _mm_mul_pd(c1, _mm_move_sd(m, s));              // {h1r, h1i}
        const __m128d h2 = _mm_mul_pd(c2v, _mm_shuffle_pd(s, m, 1));       // {h2r, h2i}
        const __m128d wr = _mm_load_pd(tw.postRe + 2 * (n / 2 + i - 2));  // {wr, wr}
        const __m128d wi = _mm_load_pd(tw.postIm + 2 * (n / 2 + i - 2));  // {wi, wi}
        const __m128d p = _mm_mul_pd(wr, h2);                              // {wr*h2r, wr*h2i}
        const __m128d q = _mm_mul_pd(wi, Swap(h2));                        // {wi*h2i, wi*h2r}
        // d(i1) = h1r + wr*h2r - wi*h2i, d(i2) = h1i + wr*h2i + wi*h2r
        Store2(p1, _mm_add_pd(_mm_add_pd(h1, p), _mm_xor_pd(q, signLo)));
        // d(i3) = h1r - wr*h2r + wi*h2i, d(i4) = -h1i + wr*h2i + wi*h2r
        Store2(p3, _mm_add_pd(_mm_add_pd(_mm_xor_pd(h1, signHi), _mm_xor_pd(p, signLo)), q));
    }
}

namespace {

// Rows of eight samples in each shifted copy: enough for kMaxLagSamples
// samples, the zeros before them and the zeros read past their end.
constexpr int32_t kShiftedRows = kMaxLagSamples / 8 + 6;

// The samples (followed by their zeros) seen from every alignment: at[r] + q
// is the place of sample q in a row of eight that sits aligned, for every q
// >= -8 with (q + 8) % 8 == r; places before sample 0 read as zero.
// Alignment 0 is the aligned samples themselves; alignment r = 1 .. 7 is
// copy[r - 1], the samples shifted by r, made only when the lags ask for
// it. Unaligned loads that straddle cache lines cost the SSE2 build dearly;
// the copies take a few hundred stores per frame.
struct ShiftedSamples {
    const int16_t* at[8];
    alignas(16) int16_t copy[7][8 * kShiftedRows];
};

// x is 16-byte aligned and followed by kLagPadding zeros; `wanted` has bit r
// set for each alignment r to be made.
void MakeShifted(const int16_t* x, int32_t count, unsigned wanted, ShiftedSamples& sh)
{
    sh.at[0] = x;
    alignas(16) int16_t head[16] = {};  // eight zeros, then the first eight samples
    std::memcpy(head + 8, x, 8 * sizeof(int16_t));
    const int32_t rows = (count + 40) / 8 + 1;  // reads x up to sample count + 46
    for (int32_t r = 1; r < 8; ++r) {
        if (!(wanted & (1u << r)))
            continue;
        int16_t* copy = sh.copy[r - 1];
        // Row w holds samples 8w + r - 8 .. 8w + r - 1.
        _mm_store_si128(reinterpret_cast<__m128i*>(copy), _mm_loadu_si128(reinterpret_cast<const __m128i*>(head + r)));
        for (int32_t row = 1; row < rows; ++row)
            _mm_store_si128(reinterpret_cast<__m128i*>(copy + 8 * row),
                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + 8 * row + r - 8)));
        sh.at[r] = copy + 8 - r;
    }
}

// The alignments EightLags reads for lags a0, a0 + 8, ...: those of the
// samples at the lags and of the samples shifted back by 1, 2 and 3.
unsigned WantedAlignments(int32_t a0)
{
    return (1u << (a0 % 8)) | (1u << ((a0 + 4) % 8)) | (1u << 7) | (1u << 6) | (1u << 5);
}

// The four lane sums of s[0] .. s[3] (wrapping), in order.
inline __m128i LaneSums(const __m128i* s)
{
    const __m128i t0 = _mm_add_epi32(_mm_unpacklo_epi32(s[0], s[1]), _mm_unpackhi_epi32(s[0], s[1]));
    const __m128i t1 = _mm_add_epi32(_mm_unpacklo_epi32(s[2], s[3]), _mm_unpackhi_epi32(s[2], s[3]));
    return _mm_add_epi32(_mm_unpacklo_epi64(t0, t1), _mm_unpackhi_epi64(t0, t1));
}

// The products for lags a .. a+7 over iters groups of eight samples, as 32-bit
// sums that wrap. Lag a + l pairs x[j - l] with x[j + a] (and lag a + 4 + l
// x[j - l] with x[j + a + 4]), j = 0, 1, ...: the same products as
// x[i] x[i + a + l], so each load of the samples at the lag serves four lags
// and each load of the samples shifted back serves two.
void EightLags(const ShiftedSamples& sh, int32_t a, int32_t iters, uint32_t* sums)
{
    const int16_t* y0 = sh.at[a % 8] + a;
    const int16_t* y4 = sh.at[(a + 4) % 8] + a + 4;
    const int16_t* x0 = sh.at[0];
    const int16_t* x1 = sh.at[7] - 1;  // the first place of the copy for alignment 7
    const int16_t* x2 = sh.at[6] - 2;
    const int16_t* x3 = sh.at[5] - 3;
    __m128i s0 = _mm_setzero_si128(), s1 = s0, s2 = s0, s3 = s0, s4 = s0, s5 = s0, s6 = s0, s7 = s0;
    // The loop is written out: it is bound by the number of instructions,
    // and the compiler, left to itself, spends a third more on register
    // copies. Per group of eight samples it loads the two rows at the lags
    // and the four shifted rows (all aligned), and adds eight products into
    // the eight sums; the last shifted row multiplies into the lag rows,
    // which are not needed after it, so only three copies remain. Two groups
    // a step: an odd count of groups gets one more, whose samples at the
    // lags all lie past the end and add nothing. The byte offset i counts up
    // from -16 * groups to zero.
    const int32_t groups = (iters + 1) & ~1;  // iters >= 1
    const intptr_t bytes = 16 * static_cast<intptr_t>(groups);
    intptr_t i = -bytes;
    __m128i v0, v4, u, w;
    asm(
        "1:\n\t"
        "movdqa (%[y0],%[i]), %[v0]\n\t"
        "movdqa (%[y4],%[i]), %[v4]\n\t"
        "movdqa (%[x0],%[i]), %[u]\n\t"
        "movdqa %[u], %[w]\n\t"
        "pmaddwd %[v0], %[u]\n\t"
        "pmaddwd %[v4], %[w]\n\t"
        "paddd %[u], %[s0]\n\t"
        "paddd %[w], %[s4]\n\t"
        "movdqa (%[x1],%[i]), %[u]\n\t"
        "movdqa %[u], %[w]\n\t"
        "pmaddwd %[v0], %[u]\n\t"
        "pmaddwd %[v4], %[w]\n\t"
        "paddd %[u], %[s1]\n\t"
        "paddd %[w], %[s5]\n\t"
        "movdqa (%[x2],%[i]), %[u]\n\t"
        "movdqa %[u], %[w]\n\t"
        "pmaddwd %[v0], %[u]\n\t"
        "pmaddwd %[v4], %[w]\n\t"
        "paddd %[u], %[s2]\n\t"
        "paddd %[w], %[s6]\n\t"
        "movdqa (%[x3],%[i]), %[u]\n\t"
        "pmaddwd %[u], %[v0]\n\t"
        "pmaddwd %[u], %[v4]\n\t"
        "paddd %[v0], %[s3]\n\t"
        "paddd %[v4], %[s7]\n\t"
        "movdqa 16(%[y0],%[i]), %[v0]\n\t"
        "movdqa 16(%[y4],%[i]), %[v4]\n\t"
        "movdqa 16(%[x0],%[i]), %[u]\n\t"
        "movdqa %[u], %[w]\n\t"
        "pmaddwd %[v0], %[u]\n\t"
        "pmaddwd %[v4], %[w]\n\t"
        "paddd %[u], %[s0]\n\t"
        "paddd %[w], %[s4]\n\t"
        "movdqa 16(%[x1],%[i]), %[u]\n\t"
        "movdqa %[u], %[w]\n\t"
        "pmaddwd %[v0], %[u]\n\t"
        "pmaddwd %[v4], %[w]\n\t"
        "paddd %[u], %[s1]\n\t"
        "paddd %[w], %[s5]\n\t"
        "movdqa 16(%[x2],%[i]), %[u]\n\t"
        "movdqa %[u], %[w]\n\t"
        "pmaddwd %[v0], %[u]\n\t"
        "pmaddwd %[v4], %[w]\n\t"
        "paddd %[u], %[s2]\n\t"
        "paddd %[w], %[s6]\n\t"
        "movdqa 16(%[x3],%[i]), %[u]\n\t"
        "pmaddwd %[u], %[v0]\n\t"
        "pmaddwd %[u], %[v4]\n\t"
        "paddd %[v0], %[s3]\n\t"
        "paddd %[v4], %[s7]\n\t"
        "add $32, %[i]\n\t"
        "jnz 1b"
        : [s0] "+x"(s0), [s1] "+x"(s1), [s2] "+x"(s2), [s3] "+x"(s3), [s4] "+x"(s4), [s5] "+x"(s5),
          [s6] "+x"(s6), [s7] "+x"(s7), [i] "+r"(i), [v0] "=&x"(v0), [v4] "=&x"(v4), [u] "=&x"(u), [w] "=&x"(w)
        : [y0] "r"(y0 + 8 * groups), [y4] "r"(y4 + 8 * groups), [x0] "r"(x0 + 8 * groups),
          [x1] "r"(x1 + 8 * groups), [x2] "r"(x2 + 8 * groups), [x3] "r"(x3 + 8 * groups)
        : "memory", "cc");
    const __m128i s[8] = {s0, s1, s2, s3, s4, s5, s6, s7};
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sums), LaneSums(s));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + 4), LaneSums(s + 4));
}

}  // namespace

// Two blocks (eight lags) at a time; a lone last block is computed as a pair
// whose second half is dropped. First the 32-bit sums of every pair, then,
// with the same buffer of copies, the coarse sums of the pairs that need
// them.
void LagProducts(const int16_t* xp, const int16_t* xh, int32_t count, int32_t a0, int32_t blocks,
                 const uint8_t* wide, double* c)
{
    ShiftedSamples sh;
    uint32_t low[kMaxLagSamples + 8];
    MakeShifted(xp, count, WantedAlignments(a0), sh);
    bool anyWide = false;
    for (int32_t blk = 0; blk < blocks; blk += 2) {
        const int32_t a = a0 + 4 * blk;
        const int32_t m = count - a;
        const int32_t lags = blk + 1 < blocks ? 8 : 4;
        if (m <= 0) {
            for (int32_t l = 0; l < lags; ++l)
                c[4 * blk + l] = 0.0;
            continue;
        }
        uint32_t sums[8];
        EightLags(sh, a, (m + 7) / 8, sums);
        const bool wideHere = wide[blk] || (lags == 8 && wide[blk + 1]);
        anyWide = anyWide || wideHere;
        for (int32_t l = 0; l < lags; ++l) {
            low[4 * blk + l] = sums[l];
            c[4 * blk + l] = static_cast<int32_t>(sums[l]);  // exact in double
        }
    }
    if (!anyWide)
        return;
    MakeShifted(xh, count, WantedAlignments(a0), sh);
    for (int32_t blk = 0; blk < blocks; ++blk) {
        if (!wide[blk])
            continue;
        // The block and its partner were computed together: so are their coarse sums.
        const int32_t first = blk - blk % 2;
        const int32_t a = a0 + 4 * first;
        uint32_t coarse[8];
        EightLags(sh, a, (count - a + 7) / 8, coarse);
        for (int32_t b = first; b < first + 2 && b < blocks; ++b) {
            if (!wide[b])
                continue;
            for (int32_t l = 0; l < 4; ++l) {
                const int32_t k = 4 * b + l;
                // The coarse sum is exact (it stays within 2^30) and pins the
                // full sum down to within 2^31; the low 32 bits do the rest.
                const int64_t approx = static_cast<int64_t>(static_cast<int32_t>(coarse[4 * (b - first) + l]))
                                       << (2 * kCoarseShift);
                const uint32_t diff = low[k] - static_cast<uint32_t>(approx);
                c[k] = static_cast<double>(approx + static_cast<int32_t>(diff));  // below 2^41: exact
            }
        }
        blk = first + 1;  // the partner is done
    }
}

namespace {

// Added to the bits of a positive double with mantissa bits f, carries into
// the exponent exactly when f exceeds the mantissa bits of kSqrt2, i.e. when
// 1.f > kSqrt2. (Powers that are not positive normal numbers are floored or
// handed back whatever this gives them.)
constexpr int64_t kSqrt2Carry = (int64_t{1} << 52) - 1 - (std::bit_cast<int64_t>(kSqrt2) & kMantissaBits);

// The high 32 bits of kSmallestLevel (its low 32 bits are zero).
constexpr int32_t kSmallestLevelHigh = static_cast<int32_t>(std::bit_cast<int64_t>(kSmallestLevel) >> 32);
static_assert((std::bit_cast<int64_t>(kSmallestLevel) & 0xffffffffLL) == 0);

// Levels of two bins (re0 im0 re1 im1): the rounded levels, floored at
// -100 dB, and a two-bit mask of the bins that can be trusted.
struct TwoLevels {
    __m128 levels;
    int ok;
};

inline TwoLevels LevelsOfTwo(__m128 v, __m128d scale)
{
    const __m128d lo = _mm_cvtps_pd(v);
    const __m128d hi = _mm_cvtps_pd(_mm_movehl_ps(v, v));
    const __m128d lo2 = _mm_mul_pd(lo, lo);
    const __m128d hi2 = _mm_mul_pd(hi, hi);
    // (re*re + im*im) / f, the division by a power of two done as the
    // identical multiplication.
    const __m128d power = _mm_mul_pd(_mm_add_pd(_mm_unpacklo_pd(lo2, hi2), _mm_unpackhi_pd(lo2, hi2)), scale);
    const __m128d floored = _mm_cmpnge_pd(power, _mm_set1_pd(1e-10));  // below 1e-10 or not a number

    // power = 2^e * m with m in [sqrt(1/2), sqrt(2)), the same m and e as
    // taking m in [1, 2) and halving it (raising e) above sqrt(2), found
    // with integer steps: adding kSqrt2Carry to the bits carries into the
    // exponent exactly when the mantissa exceeds that of sqrt(2), so the
    // exponent field of the sum is the biased e; taking e from the
    // exponent field leaves m.
    const __m128d one = _mm_set1_pd(1.0);
    const __m128i bits = _mm_castpd_si128(power);
    const __m128i biasedE = _mm_srli_epi64(_mm_add_epi64(bits, _mm_set1_epi64x(kSqrt2Carry)), 52);
    const __m128d m = _mm_castsi128_pd(
        _mm_add_epi64(_mm_sub_epi64(bits, _mm_slli_epi64(biasedE, 52)), _mm_set1_epi64x(kOneBits)));
    // e as 2^52 + biased e less 2^52 + 1023.
    const __m128d e = _mm_sub_pd(_mm_castsi128_pd(_mm_or_si128(biasedE, _mm_set1_epi64x(kTwo52Bits))),
                                 _mm_set1_pd(0x1p52 + 1023.0));
    const __m128d s = _mm_div_pd(_mm_sub_pd(m, one), _mm_add_pd(m, one));
    const __m128d z = _mm_mul_pd(s, s);
    // Q(z) by Estrin's scheme (short chains of dependent operations).
    const __m128d z2 = _mm_mul_pd(z, z);
    const __m128d z4 = _mm_mul_pd(z2, z2);
    auto pair = [&](int j) {
        return _mm_add_pd(_mm_set1_pd(kAtanhSeries[j]), _mm_mul_pd(_mm_set1_pd(kAtanhSeries[j + 1]), z));
    };
    const __m128d poly = _mm_add_pd(_mm_add_pd(pair(0), _mm_mul_pd(z2, pair(2))),
                                    _mm_mul_pd(z4, _mm_add_pd(pair(4), _mm_mul_pd(z2, pair(6)))));
    const __m128d level = _mm_add_pd(_mm_mul_pd(e, _mm_set1_pd(kTenLog10Of2)),
                                     _mm_mul_pd(_mm_mul_pd(s, poly), _mm_set1_pd(kTwentyOverLn10)));

    // Trusted when the 29 bits single precision drops lie far from a tie
    // and the level is a normal single-precision number, both read off the
    // level's bits in one test of their 32-bit halves. Low half: with v its
    // 29 dropped bits, |v - tie| > distance exactly when
    // (v - tie + distance) mod 2^29 > 2 distance. High half: |level| >=
    // 2^-126 exactly when its magnitude bits reach those of 2^-126, whose
    // low half is zero.
    const __m128i halves = _mm_castpd_si128(level);
    const __m128i test = _mm_cmpgt_epi32(
        _mm_and_si128(_mm_add_epi32(halves, _mm_set_epi32(0, kTieDistance - kTieBits, 0, kTieDistance - kTieBits)),
                      _mm_set_epi32(0x7fffffff, kDroppedBits, 0x7fffffff, kDroppedBits)),
        _mm_set_epi32(kSmallestLevelHigh - 1, 2 * kTieDistance, kSmallestLevelHigh - 1, 2 * kTieDistance));
    const int passed = _mm_movemask_ps(_mm_castsi128_ps(test));  // far 0, normal 0, far 1, normal 1
    const int trusted = passed & (passed >> 1) & 0b0101;
    const int bounded = _mm_movemask_pd(_mm_cmple_pd(power, _mm_set1_pd(kLargestPower)));
    TwoLevels out;
    out.levels = _mm_cvtpd_ps(_mm_or_pd(_mm_and_pd(floored, _mm_set1_pd(-100.0)), _mm_andnot_pd(floored, level)));
    out.ok = (((trusted | (trusted >> 1)) & 3) & bounded) | _mm_movemask_pd(floored);
    return out;
}

}  // namespace

int32_t SpectrumLevels(const float* b, int32_t bins, double invF, float* levels, int32_t* retry)
{
    const __m128d scale = _mm_set1_pd(invF);
    int32_t nRetry = 0;
    auto note = [&](int ok, int32_t k) {
        if (!(ok & 1))
            retry[nRetry++] = k;
        if (!(ok & 2))
            retry[nRetry++] = k + 1;
    };
    int32_t k = 0;
    // Four bins a step, as two independent halves for the processor to overlap.
    for (; k + 4 <= bins; k += 4) {
        const TwoLevels a = LevelsOfTwo(_mm_loadu_ps(b + 2 * k), scale);
        const TwoLevels c = LevelsOfTwo(_mm_loadu_ps(b + 2 * k + 4), scale);
        _mm_storeu_ps(levels + k, _mm_movelh_ps(a.levels, c.levels));
        if ((a.ok & c.ok) != 3) {
            note(a.ok, k);
            note(c.ok, k + 2);
        }
    }
    for (; k < bins; ++k)
        retry[nRetry++] = k;
    return nRetry;
}

}  // namespace sse2
}  // namespace vocalume::simd
