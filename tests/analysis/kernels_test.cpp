// The signal kernels against independent references: a direct DFT, a direct
// autocorrelation sum, and hand-worked values.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <random>
#include <vector>

#include "signals.h"
#include "signal_kernels.h"

namespace vocalume {
namespace {

using cd = std::complex<double>;

// X(k) = sum_j x(j) e^(+2πi jk/M): the transforms' own sign convention.
std::vector<cd> DirectDft(const std::vector<cd>& x)
{
    const size_t m = x.size();
    std::vector<cd> out(m);
    for (size_t k = 0; k < m; ++k) {
        cd sum = 0;
        for (size_t j = 0; j < m; ++j)
            sum += x[j] * std::polar(1.0, 2.0 * M_PI * double(j * k % m) / double(m));
        out[k] = sum;
    }
    return out;
}

std::vector<float> RandomFloats(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    std::vector<float> v(n);
    for (auto& x : v)
        x = d(rng);
    return v;
}

TEST(ComplexFFT, MatchesDirectDftAndRoundTrips)
{
    for (int32_t n = 1; n <= 512; n *= 2) {
        auto data = RandomFloats(2 * static_cast<size_t>(n), static_cast<uint32_t>(n));
        std::vector<cd> x(static_cast<size_t>(n));
        for (int32_t k = 0; k < n; ++k)
            x[static_cast<size_t>(k)] = {data[2 * k], data[2 * k + 1]};
        const auto expected = DirectDft(x);
        auto work = data;
        ComplexFFT(work.data(), n, 1);
        const double tol = 2e-6 * std::sqrt(double(n)) * std::log2(double(n) + 1) + 1e-6;
        for (int32_t k = 0; k < n; ++k) {
            EXPECT_NEAR(work[2 * k], expected[size_t(k)].real(), tol) << "n=" << n << " k=" << k;
            EXPECT_NEAR(work[2 * k + 1], expected[size_t(k)].imag(), tol) << "n=" << n << " k=" << k;
        }
        ComplexFFT(work.data(), n, -1);
        for (size_t i = 0; i < work.size(); ++i)
            EXPECT_NEAR(work[i], n * data[i], tol * 4) << "n=" << n;
    }
}

TEST(ComplexFFT, SinglePointIsUnchanged)
{
    float d[2] = {0.25f, -3.5f};
    ComplexFFT(d, 1, 1);
    EXPECT_EQ(d[0], 0.25f);
    EXPECT_EQ(d[1], -3.5f);
}

TEST(RealFFT, PacksTheHalfSpectrumOfTheDirectDft)
{
    for (int32_t n = 2; n <= 512; n *= 2) {
        const auto data = RandomFloats(2 * static_cast<size_t>(n), 7u + static_cast<uint32_t>(n));
        std::vector<cd> x(data.begin(), data.end());
        const auto expected = DirectDft(x);
        auto work = data;
        RealFFT(work.data(), n, 1);
        const double tol = 4e-6 * std::sqrt(2.0 * n) * std::log2(2.0 * n) + 1e-6;
        EXPECT_NEAR(work[0], expected[0].real(), tol) << "sum of all points, n=" << n;
        EXPECT_NEAR(work[1], expected[size_t(n)].real(), tol) << "alternating sum, n=" << n;
        for (int32_t k = 1; k < n; ++k) {
            EXPECT_NEAR(work[2 * k], expected[size_t(k)].real(), tol) << "n=" << n << " k=" << k;
            EXPECT_NEAR(work[2 * k + 1], expected[size_t(k)].imag(), tol) << "n=" << n << " k=" << k;
        }
        RealFFT(work.data(), n, -1);
        for (size_t i = 0; i < work.size(); ++i)
            EXPECT_NEAR(work[i], n * data[i], tol * 4) << "inverse gives n times the input, n=" << n;
    }
}

TEST(RealFFT, WorkedSequences)
{
    const int32_t n = 256, m = 2 * n;
    std::vector<float> c(m, 1.5f);
    RealFFT(c.data(), n, 1);
    EXPECT_NEAR(c[0], m * 1.5, 1e-3);
    for (int32_t i = 1; i < m; ++i)
        EXPECT_NEAR(c[i], 0.0, 1e-3) << i;

    std::vector<float> alt(m);
    for (int32_t i = 0; i < m; ++i)
        alt[i] = (i % 2) ? -1.0f : 1.0f;
    RealFFT(alt.data(), n, 1);
    EXPECT_NEAR(alt[1], m, 1e-3);
    EXPECT_NEAR(alt[0], 0.0, 1e-3);

    std::vector<float> cosine(m);
    for (int32_t j = 0; j < m; ++j)
        cosine[j] = static_cast<float>(std::cos(2.0 * M_PI * 3.0 * j / m));
    RealFFT(cosine.data(), n, 1);
    EXPECT_NEAR(cosine[6], n, 1e-3);
    EXPECT_NEAR(cosine[7], 0.0, 1e-3);
}

// r(a) = (C/m) / (sqrt(A) sqrt(B) / m), summed directly.
double DirectCorrelation(const std::vector<int16_t>& x, int32_t a)
{
    const int32_t m = static_cast<int32_t>(x.size()) - a;
    double sa = 0, sb = 0, sc = 0;
    for (int32_t i = 0; i < m; ++i) {
        sa += double(x[size_t(i)]) * x[size_t(i)];
        sb += double(x[size_t(i + a)]) * x[size_t(i + a)];
        sc += double(x[size_t(i)]) * x[size_t(i + a)];
    }
    return (sc / m) / (std::sqrt(sa) * std::sqrt(sb) / m);
}

TEST(NormAutocorr, MatchesDirectSumsAndPicksTheBestLag)
{
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        const auto x = seed % 2 ? testing::SpeechLike(392, seed) : testing::RandomSamples(392, seed);
        float out[184];
        const int32_t lag = NormAutocorr(x.data(), 392, out, 22, 183);
        double mean = 0;
        for (auto v : x)
            mean += double(v) * v;
        EXPECT_FLOAT_EQ(out[0], float(mean / 392));
        for (int32_t a = 1; a < 22; ++a)
            EXPECT_EQ(out[a], 0.0f);
        float best = -1.0f;
        int32_t bestLag = 0;
        for (int32_t a = 22; a <= 183; ++a) {
            const double r = DirectCorrelation(x, a);
            EXPECT_EQ(out[a], static_cast<float>(r)) << "lag " << a;
            if (r > best) {
                best = static_cast<float>(r);
                bestLag = a;
            }
        }
        EXPECT_EQ(lag, bestLag);
    }
}

TEST(NormAutocorr, PeriodicSignalFindsItsPeriod)
{
    const auto x = testing::Vowel(11025.0 / 100.0, 392, 12000);
    float out[184];
    EXPECT_NEAR(NormAutocorr(x.data(), 392, out, 22, 183), 100, 1);
}

TEST(NormAutocorr, SilenceAndShortInputScoreNothing)
{
    std::vector<int16_t> zeros(392, 0);
    float out[184];
    EXPECT_EQ(NormAutocorr(zeros.data(), 392, out, 22, 183), 0);
    EXPECT_EQ(out[0], 0.0f);
    for (int32_t a = 22; a <= 183; ++a)
        EXPECT_TRUE(std::isnan(out[a])) << a;

    const auto shortInput = testing::RandomSamples(22, 3);
    EXPECT_EQ(NormAutocorr(shortInput.data(), 22, out, 22, 183), 0);
    for (int32_t a = 22; a <= 183; ++a)
        EXPECT_TRUE(std::isnan(out[a])) << a;
}

TEST(Log10Floor, FloorsSmallNegativeAndUndefinedValues)
{
    EXPECT_EQ(Log10Floor(0.0), -10.0);
    EXPECT_EQ(Log10Floor(-5.0), -10.0);
    EXPECT_EQ(Log10Floor(1e-11), -10.0);
    EXPECT_EQ(Log10Floor(std::numeric_limits<double>::quiet_NaN()), -10.0);
    EXPECT_DOUBLE_EQ(Log10Floor(1e-10), -10.0);
    EXPECT_EQ(Log10Floor(1.0), 0.0);
    EXPECT_DOUBLE_EQ(Log10Floor(1000.0), 3.0);
}

}  // namespace
}  // namespace vocalume
