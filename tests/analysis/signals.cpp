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

std::vector<int16_t> TelephoneBand(const std::vector<int16_t>& x)
{
    // Four biquad sections of each kind; their Qs make an eighth-order
    // Butterworth response.
    struct Biquad {
        double b0, b1, b2, a1, a2;
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        double operator()(double in)
        {
            const double out = b0 * in + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
            x2 = x1;
            x1 = in;
            y2 = y1;
            y1 = out;
            return out;
        }
    };
    const auto section = [](bool highPass, double hz, double q) {
        const double w = 2.0 * 3.141592653589793 * hz / kRate;
        const double c = std::cos(w), alpha = std::sin(w) / (2.0 * q), a0 = 1.0 + alpha;
        const double side = highPass ? (1.0 + c) / 2.0 : (1.0 - c) / 2.0;
        return Biquad{side / a0, (highPass ? -2.0 : 2.0) * side / a0, side / a0, -2.0 * c / a0, (1.0 - alpha) / a0};
    };
    std::vector<double> v(x.begin(), x.end());
    for (int pass = 0; pass < 2; ++pass) {
        for (const double q : {0.5098, 0.6013, 0.9000, 2.5629}) {
            Biquad high = section(true, 300.0, q), low = section(false, 3400.0, q);
            for (double& s : v)
                s = low(high(s));
        }
        std::reverse(v.begin(), v.end());
    }
    std::vector<int16_t> out(v.size());
    for (size_t i = 0; i < v.size(); ++i)
        out[i] = static_cast<int16_t>(std::clamp(std::lround(v[i]), -32768L, 32767L));
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
