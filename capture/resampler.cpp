#include "resampler.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>

namespace vocalume {
namespace {
constexpr int32_t kScratchPairs = 2048;
}

struct StereoResampler::Impl {
    soxr_t soxr = nullptr;
    Input input = Input::Float;
    float scratch[kScratchPairs * 2] = {};
};

int16_t ToSample16(float x)
{
    // Clipped before rounding, so that no value is too large to round; a
    // value that is no number is silence.
    if (std::isnan(x))
        return 0;
    return static_cast<int16_t>(std::lrint(std::clamp(static_cast<double>(x) * 32768.0, -32768.0, 32767.0)));
}

StereoResampler::StereoResampler(double inRate, double outRate, Input input)
    : m_impl(std::make_unique<Impl>())
{
    m_impl->input = input;
    const soxr_io_spec_t io =
        soxr_io_spec(input == Input::Int16 ? SOXR_INT16_I : SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    m_impl->soxr = soxr_create(inRate, outRate, 2, &error, &io, &quality, &runtime);
    if (error != nullptr || m_impl->soxr == nullptr) {
        m_error = std::string("cannot convert the sample rate: ") + (error ? error : "unknown error");
        if (m_impl->soxr)
            soxr_delete(m_impl->soxr);
        m_impl->soxr = nullptr;
    }
}

StereoResampler::~StereoResampler()
{
    if (m_impl->soxr)
        soxr_delete(m_impl->soxr);
}

int32_t StereoResampler::Process(const void* in, int32_t frames, int32_t& consumed, int16_t* out,
                                 int32_t outCapacity)
{
    consumed = 0;
    if (!m_impl->soxr)
        return 0;
    const int32_t want = std::min(outCapacity, kScratchPairs);
    size_t idone = 0;
    size_t odone = 0;
    // A null input tells the converter that the sound has ended.
    soxr_process(m_impl->soxr, in, in ? static_cast<size_t>(frames) : 0, &idone, m_impl->scratch,
                 static_cast<size_t>(want), &odone);
    consumed = static_cast<int32_t>(idone);
    for (size_t i = 0; i < odone * 2; ++i)
        out[i] = ToSample16(m_impl->scratch[i]);
    return static_cast<int32_t>(odone);
}

int32_t StereoResampler::Drain(int16_t* out, int32_t outCapacity)
{
    int32_t consumed = 0;
    return Process(nullptr, 0, consumed, out, outCapacity);
}

}  // namespace vocalume
