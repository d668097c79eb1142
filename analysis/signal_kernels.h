// Numerical kernels of the frame analysis: an in-place radix-2 complex FFT,
// the FFT of a real sequence built on it, a normalised autocorrelation search
// and a floored common logarithm. Pure functions: no globals, no allocation,
// callable from any thread. All arithmetic is double precision; values written
// back to arrays are single precision.
#pragma once

#include <cmath>
#include <cstdint>

namespace vocalume {

// 2π as the transforms have always stored it: about 4e-15 above the double
// nearest 2π. The tiny excess shapes every twiddle factor, so it stays.
inline constexpr double kTwoPiTransform = 6.28318530717959;
inline constexpr double kPi = 3.141592653589793;

// The trigonometric recurrence of the transforms: the twiddle factor
// wr + i·wi, turned by theta at every Advance. The transforms and the tables
// that record their twiddle factors both use it, so the recorded values are
// the very ones the recurrence produces.
struct TwiddleRecurrence {
    explicit TwiddleRecurrence(double theta)
    {
        const double t = std::sin(0.5 * theta);
        wpr = -2.0 * t * t;
        wpi = std::sin(theta);
    }
    void Advance()
    {
        const double wtemp = wr;
        wr = wr + (wr * wpr - wi * wpi);
        wi = wi + (wi * wpr + wtemp * wpi);
    }
    double wpr;
    double wpi;
    double wr = 1.0;
    double wi = 0.0;
};

// In-place complex FFT of n points (a power of two, n >= 1) stored as 2n
// interleaved real/imaginary values from data[0]. direction +1 uses the
// positive exponent e^(+2πi·jk/n); -1 the negative one. No scaling.
void ComplexFFT(float* data, int32_t n, int32_t direction);

// In-place FFT of 2n real values (n a power of two, n >= 2). Forward packs the
// half spectrum: data[0] = X(0), data[1] = X(n), data[2k], data[2k+1] = X(k).
// The inverse takes that packing and returns n times the sequence.
void RealFFT(float* data, int32_t n, int32_t direction);

// Normalised autocorrelation of x[0..count) for lags amin..amax inclusive.
// out[0] receives the mean square; out[a] the correlation of the first
// count - a samples with those a later, each normalised over the overlap.
// Returns the lag of the strictly largest value above -1 (smallest lag on
// ties), or 0 when none scored. out needs room for amax + 1 values.
int32_t NormAutocorr(const int16_t* x, int32_t count, float* out, int32_t amin, int32_t amax);

// log10(x), or -10 when x < 1e-10 or x is not a number.
double Log10Floor(double x);

}  // namespace vocalume
