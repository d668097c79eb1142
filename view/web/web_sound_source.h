// The browser's microphone as a sound source. The page opens the microphone
// through getUserMedia and an AudioWorklet and hands its blocks to Heard, at
// whatever rate the browser records; they are converted to the recording
// rate here and delivered as stereo pairs, the same sample on both channels.
// A microphone refused, missing or unplugged reaches the view as a lost
// device, with the browser's reason in the user's terms.
//
// Threads: the page has one; everything runs on it. Heard and Lost come
// from the page's event loop, never from inside a call of the view.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "recording_format.h"
#include "resampler.h"
#include "sound_source.h"

namespace vocalume {

class WebSoundSource final : public SoundSource {
public:
    bool Open(const WaveFormat& format, SoundSink& sink, std::string& userMessage) override;
    void Start() override { m_delivering = true; }
    void Stop() override;
    void Close() override { m_sink = nullptr; }
    void SetInput(const std::string& name) override { m_input = name; }
    bool InputMissing() const override { return m_missing; }

    // `count` samples of the microphone's first channel at `rate`.
    void Heard(const float* samples, int32_t count, int32_t rate);
    // The microphone could not be opened or went away.
    void Lost(const std::string& reason);
    // Sample pairs delivered since the last Open, at the recording rate.
    int64_t Delivered() const { return m_delivered; }

private:
    SoundSink* m_sink = nullptr;
    bool m_delivering = false;
    bool m_missing = false;
    std::string m_input;
    int32_t m_rate = 0;
    int32_t m_outRate = kRecordingRate;
    std::unique_ptr<StereoResampler> m_resampler;
    std::vector<float> m_stereo;
    std::vector<int16_t> m_pairs;
    int64_t m_delivered = 0;
};

}  // namespace vocalume
