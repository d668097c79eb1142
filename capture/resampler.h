// Converts interleaved stereo sound from one rate to another (the recording
// rate, see recording_format.h), with no random dither, so that the same input always
// gives the same samples. Processing allocates nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vocalume {

class StereoResampler {
public:
    enum class Input { Int16, Float };

    StereoResampler(double inRate, double outRate, Input input);
    ~StereoResampler();
    StereoResampler(const StereoResampler&) = delete;
    StereoResampler& operator=(const StereoResampler&) = delete;

    // Empty when the converter could be made.
    const std::string& Error() const { return m_error; }

    // Feeds up to `frames` input pairs (int16_t or float in -1..1, as chosen)
    // and writes at most `outCapacity` output pairs; `consumed` tells how many
    // input pairs were taken. Returns the pairs written.
    int32_t Process(const void* in, int32_t frames, int32_t& consumed, int16_t* out,
                    int32_t outCapacity);
    // After the last input: writes what the converter still holds. Call
    // until it returns 0.
    int32_t Drain(int16_t* out, int32_t outCapacity);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    std::string m_error;
};

// A float sample in -1..1 as the nearest 16-bit sample, clipped; NaN is 0.
int16_t ToSample16(float x);

}  // namespace vocalume
