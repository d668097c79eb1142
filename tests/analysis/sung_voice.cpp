#include "sung_voice.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "signals.h"

namespace vocalume::testing {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kOversampling = 8;
constexpr double kFineRate = kRate * kOversampling;

// Glottal flow through one period at phase p in [0, 1): opening over 40 %,
// closing over 16 %, then closed.
double Flow(double p)
{
    constexpr double kOpening = 0.40, kClosing = 0.16;
    if (p < kOpening)
        return 0.5 * (1.0 - std::cos(kPi * p / kOpening));
    if (p < kOpening + kClosing)
        return std::cos(0.5 * kPi * (p - kOpening) / kClosing);
    return 0.0;
}

}  // namespace

std::vector<int16_t> Sing(const SungVoice& voice)
{
    std::mt19937 rng(voice.seed);
    std::normal_distribution<double> normal(0.0, 1.0);
    const auto fine = static_cast<size_t>(voice.seconds * kFineRate);

    // The flow, pulse by pulse: each period's length and strength vary
    // around the course the voice follows.
    std::vector<double> flow(fine), breath(fine);
    double phase = 0.0;
    double step = voice.f0(0.0) * (1.0 + voice.jitter * normal(rng)) / kFineRate;
    double strength = 1.0;
    for (size_t i = 0; i < fine; ++i) {
        flow[i] = strength * Flow(phase);
        breath[i] = normal(rng);
        phase += step;
        if (phase >= 1.0) {
            phase -= 1.0;
            const double t = static_cast<double>(i) / kFineRate;
            step = voice.f0(t) * (1.0 + voice.jitter * normal(rng)) / kFineRate;
            strength = std::max(0.2, 1.0 + voice.shimmer * normal(rng));
        }
    }

    // Radiated: the flow's derivative; breath noise follows the open glottis.
    std::vector<double> source(fine);
    double voicedPower = 0.0, breathPower = 0.0;
    for (size_t i = 1; i < fine; ++i) {
        source[i] = flow[i] - flow[i - 1];
        voicedPower += source[i] * source[i];
        const double b = breath[i] * (0.25 + flow[i]);
        breathPower += b * b;
        breath[i] = b;
    }
    const double breathGain =
        breathPower > 0.0 ? std::sqrt(voicedPower / breathPower * std::pow(10.0, voice.breathDb / 10.0)) : 0.0;
    std::vector<Resonator> formants;
    for (double f : voice.formants)
        formants.emplace_back(f, 50.0 + 0.03 * f, kFineRate);
    for (size_t i = 0; i < fine; ++i) {
        double v = source[i] + breathGain * breath[i];
        for (Resonator& r : formants)
            v = r(v);
        source[i] = v;
    }

    // Down to the recording rate through a windowed-sinc low-pass at 4.8 kHz.
    constexpr int kTaps = 20 * kOversampling + 1;
    std::vector<double> taps(kTaps);
    for (int k = 0; k < kTaps; ++k) {
        const double m = k - (kTaps - 1) / 2.0;
        const double x = 2.0 * 4800.0 / kFineRate * m;
        const double sinc = m == 0.0 ? 1.0 : std::sin(kPi * x) / (kPi * x);
        const double window = 0.42 - 0.5 * std::cos(2.0 * kPi * k / (kTaps - 1)) +
                              0.08 * std::cos(4.0 * kPi * k / (kTaps - 1));
        taps[static_cast<size_t>(k)] = sinc * window;
    }
    const size_t count = fine / kOversampling;
    std::vector<double> out(count);
    double peak = 0.0;
    for (size_t j = 0; j < count; ++j) {
        double sum = 0.0;
        for (int k = 0; k < kTaps; ++k) {
            const auto i = static_cast<std::ptrdiff_t>(j * kOversampling) + k - (kTaps - 1) / 2;
            if (i >= 0 && i < static_cast<std::ptrdiff_t>(fine))
                sum += taps[static_cast<size_t>(k)] * source[static_cast<size_t>(i)];
        }
        // 30 ms fades, as a singer's onset and release.
        const double t = static_cast<double>(j) / kRate;
        sum *= std::min({1.0, t / 0.03, (voice.seconds - t) / 0.03});
        out[j] = sum;
        peak = std::max(peak, std::abs(sum));
    }
    std::vector<int16_t> samples(count);
    for (size_t j = 0; j < count; ++j)
        samples[j] = static_cast<int16_t>(std::lround(peak > 0.0 ? out[j] * voice.amplitude / peak : 0.0));
    return samples;
}

std::function<double(double)> WithVibrato(double hz, double cents, double rate)
{
    return [=](double t) { return hz * std::pow(2.0, cents / 1200.0 * std::sin(2.0 * kPi * rate * t)); };
}

}  // namespace vocalume::testing
