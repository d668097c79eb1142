#include "signals.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace vocalume::testing {
namespace {

constexpr double kPiD = 3.14159265358979323846;

std::vector<int16_t> Normalise(const std::vector<double>& v, double amplitude)
{
    double peak = 0.0;
    for (double x : v)
        peak = std::max(peak, std::abs(x));
    std::vector<int16_t> out(v.size());
    for (size_t i = 0; i < v.size(); ++i)
        out[i] = static_cast<int16_t>(std::lround(peak > 0 ? v[i] * amplitude / peak : 0.0));
    return out;
}

}  // namespace

Resonator::Resonator(double freq, double bandwidth, double rate)
{
    const double t = 1.0 / rate;
    c = -std::exp(-2.0 * kPiD * bandwidth * t);
    b = 2.0 * std::exp(-kPiD * bandwidth * t) * std::cos(2.0 * kPiD * freq * t);
    a = 1.0 - b - c;
}

double Resonator::operator()(double x)
{
    const double y = a * x + b * y1 + c * y2;
    y2 = y1;
    y1 = y;
    return y;
}

std::vector<int16_t> Tone(double hz, int count, double amplitude, double phase)
{
    std::vector<int16_t> out(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        out[static_cast<size_t>(i)] =
            static_cast<int16_t>(std::lround(amplitude * std::sin(2.0 * kPiD * hz * i / kRate + phase)));
    return out;
}

std::vector<int16_t> Vowel(double f0, int count, double amplitude, double jitter)
{
    std::mt19937 rng(static_cast<uint32_t>(f0 * 1000.0));
    std::normal_distribution<double> spread(0.0, jitter);
    double step = f0 / kRate;
    Resonator f1(700, 90), f2(1220, 110), f3(2600, 160);
    std::vector<double> v(static_cast<size_t>(count));
    double phase = 0.0;
    for (int i = 0; i < count; ++i) {
        // Rosenberg-like glottal pulse: a rising half-cosine then a quick fall.
        const double open = 0.6;
        double g;
        if (phase < open * 0.7)
            g = 0.5 * (1.0 - std::cos(kPiD * phase / (open * 0.7)));
        else if (phase < open)
            g = std::cos(0.5 * kPiD * (phase - open * 0.7) / (open * 0.3));
        else
            g = 0.0;
        v[static_cast<size_t>(i)] = f3(f2(f1(g)));
        phase += step;
        if (phase >= 1.0) {
            phase -= 1.0;
            if (jitter > 0.0)
                step = f0 * (1.0 + spread(rng)) / kRate;
        }
    }
    // Remove the DC the pulse train carries, as a microphone would.
    double mean = 0.0;
    for (double x : v)
        mean += x;
    mean /= std::max(count, 1);
    for (double& x : v)
        x -= mean;
    return Normalise(v, amplitude);
}

std::vector<int16_t> SpeechLike(int count, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<int16_t> out;
    out.reserve(static_cast<size_t>(count));
    while (static_cast<int>(out.size()) < count) {
        const int len = 1500 + static_cast<int>(uni(rng) * 4000);
        const double kind = uni(rng);
        std::vector<int16_t> seg;
        if (kind < 0.6) {
            seg = Vowel(90.0 + uni(rng) * 250.0, len, 2000.0 + uni(rng) * 20000.0);
        } else if (kind < 0.8) {
            std::vector<double> v(static_cast<size_t>(len));
            Resonator hiss(4000, 1500);
            for (auto& x : v)
                x = hiss(noise(rng));
            seg = Normalise(v, 500.0 + uni(rng) * 6000.0);
        } else {
            seg.assign(static_cast<size_t>(len), 0);
            for (auto& x : seg)
                x = static_cast<int16_t>(std::lround(noise(rng) * 3.0));
        }
        out.insert(out.end(), seg.begin(), seg.end());
    }
    out.resize(static_cast<size_t>(count));
    return out;
}

std::vector<int16_t> RandomSamples(int count, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> d(-32768, 32767);
    std::vector<int16_t> out(static_cast<size_t>(count));
    for (auto& x : out)
        x = static_cast<int16_t>(d(rng));
    return out;
}

}  // namespace vocalume::testing
