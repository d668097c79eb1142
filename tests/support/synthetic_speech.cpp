#include "synthetic_speech.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace vocalume::testing {
namespace {

constexpr double kRate = 11025.0;
constexpr double kPi = 3.141592653589793;

double Stretch(const Rendition& r, size_t i) { return i < r.stretch.size() ? r.stretch[i] : 1.0; }

// The sentence's parameters at a moment of the plain sentence: each sound's
// targets hold at its middle and blend linearly to the next sound's. Vowel
// resonances and pitch carry over pauses and hisses from the nearest vowel.
struct Moment {
    double f[3];
    double pitch;
    double voiced;  // 0..1, amplitude of the pulse train
    double hissed;  // 0..1, amplitude of the noise
    double hissHz;
};

Moment At(const std::vector<SpeechSound>& sentence, const std::vector<double>& middle, double t)
{
    const auto isVowel = [&](size_t i) { return sentence[i].pitchFrom > 0.0; };
    const auto target = [&](size_t i, double within) {
        Moment m{};
        const SpeechSound& s = sentence[i];
        m.voiced = isVowel(i) ? 1.0 : 0.0;
        m.hissed = !isVowel(i) && s.f1 > 0.0 ? 1.0 : 0.0;
        m.hissHz = s.f1;
        // Vowel settings from this vowel, or the nearest one before or after.
        size_t v = i;
        while (!isVowel(v) && v > 0)
            --v;
        if (!isVowel(v))
            for (v = i; v + 1 < sentence.size() && !isVowel(v);)
                ++v;
        const SpeechSound& w = sentence[v];
        m.f[0] = w.f1;
        m.f[1] = w.f2;
        m.f[2] = w.f3;
        const double u = v == i ? within : (v < i ? 1.0 : 0.0);
        m.pitch = w.pitchFrom + (w.pitchTo - w.pitchFrom) * u;
        return m;
    };
    size_t i = 0;
    while (i + 1 < sentence.size() && t >= middle[i + 1])
        ++i;
    if (t <= middle[0] || i + 1 >= sentence.size())
        return target(i, 0.5);
    const double blend = (t - middle[i]) / (middle[i + 1] - middle[i]);
    const Moment a = target(i, std::min(1.0, 0.5 + (t - middle[i]) / sentence[i].seconds));
    const Moment b = target(i + 1, std::max(0.0, 0.5 - (middle[i + 1] - t) / sentence[i + 1].seconds));
    Moment m{};
    for (int k = 0; k < 3; ++k)
        m.f[k] = a.f[k] + (b.f[k] - a.f[k]) * blend;
    m.pitch = a.pitch + (b.pitch - a.pitch) * blend;
    m.voiced = a.voiced + (b.voiced - a.voiced) * blend;
    m.hissed = a.hissed + (b.hissed - a.hissed) * blend;
    m.hissHz = std::max(a.hissHz, b.hissHz);
    return m;
}

// A two-pole resonance of unit gain at its centre, retuned every sample.
struct Resonance {
    double y1 = 0.0, y2 = 0.0;
    double Run(double x, double hz, double bandwidth)
    {
        const double r = std::exp(-kPi * bandwidth / kRate);
        const double a1 = 2.0 * r * std::cos(2.0 * kPi * hz / kRate), a2 = -r * r;
        const double y = (1.0 - a1 - a2) * x + a1 * y1 + a2 * y2;
        y2 = y1;
        y1 = y;
        return y;
    }
};

}  // namespace

double PlainTime(const std::vector<SpeechSound>& sentence, const Rendition& rendition, double seconds)
{
    double plain = 0.0, said = 0.0;
    for (size_t i = 0; i < sentence.size(); ++i) {
        const double length = sentence[i].seconds * Stretch(rendition, i);
        if (seconds < said + length || i + 1 == sentence.size())
            return plain + std::min(seconds - said, length) / Stretch(rendition, i);
        plain += sentence[i].seconds;
        said += length;
    }
    return plain;
}

bool Sounds(const std::vector<SpeechSound>& sentence, double plainSeconds)
{
    double start = 0.0;
    for (const SpeechSound& s : sentence) {
        if (plainSeconds < start + s.seconds)
            return s.f1 > 0.0;
        start += s.seconds;
    }
    return false;
}

std::vector<int16_t> Say(const std::vector<SpeechSound>& sentence, const Rendition& rendition)
{
    double length = 0.0;
    for (size_t i = 0; i < sentence.size(); ++i)
        length += sentence[i].seconds * Stretch(rendition, i);
    const size_t count = static_cast<size_t>(length * kRate);
    std::vector<double> middle(sentence.size());
    double start = 0.0;
    for (size_t i = 0; i < sentence.size(); ++i) {
        middle[i] = start + 0.5 * sentence[i].seconds;
        start += sentence[i].seconds;
    }
    std::vector<double> out(count);
    std::mt19937 random(rendition.seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    Resonance vowel[3], hiss;
    double phase = 0.0, tilt = 0.0, peak = 1e-9;
    for (size_t n = 0; n < count; ++n) {
        const Moment m = At(sentence, middle, PlainTime(sentence, rendition, static_cast<double>(n) / kRate));
        phase += m.pitch * rendition.pitchScale / kRate;
        double pulse = 0.0;
        if (phase >= 1.0) {
            phase -= std::floor(phase);
            pulse = 1.0;
        }
        // The glottis gives a falling spectrum: a pulse smoothed by one pole.
        tilt = pulse + 0.9 * tilt;
        double x = tilt * m.voiced;
        static const double kBandwidths[3] = {80.0, 100.0, 150.0};
        for (int k = 0; k < 3; ++k)
            x = vowel[k].Run(x, m.f[k] * rendition.resonanceScale, kBandwidths[k]);
        const double noise = hiss.Run(uniform(random) * m.hissed, std::min(m.hissHz * rendition.resonanceScale, 5000.0),
                                      800.0);
        out[n] = x + 0.3 * noise;
        peak = std::max(peak, std::fabs(out[n]));
    }
    std::vector<int16_t> samples(count);
    std::normal_distribution<double> background(0.0, 1.0);
    for (size_t n = 0; n < count; ++n) {
        const double v = out[n] / peak * 0.5 * rendition.gain * 32767.0 + rendition.noiseRms * 32767.0 * background(random);
        samples[n] = static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
    }
    return samples;
}

}  // namespace vocalume::testing
