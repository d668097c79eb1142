// Playback through the sound system's default output, where no sound server
// answers. PortAudio's blocking writes run on the playback guard's device
// thread; a device that refuses the recording rate gets the sound converted
// to its own.
#include <portaudio.h>

#include <algorithm>
#include <memory>
#include <string>

#include "playback_device.h"
#include "resampler.h"
#include "sound_source.h"

namespace vocalume {
namespace {

constexpr int32_t kChunk = 512;

class PortAudioPlaybackDevice final : public PlaybackDevice {
public:
    ~PortAudioPlaybackDevice() override { Close(); }

    bool Open(int32_t rate, std::string&) override
    {
        if (Pa_Initialize() != paNoError)
            return false;
        m_initialised = true;
        const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
        const PaDeviceInfo* info = device == paNoDevice ? nullptr : Pa_GetDeviceInfo(device);
        if (info == nullptr || info->maxOutputChannels < 1) {
            DebugLog("no default output device");
            Close();
            return false;
        }
        PaStreamParameters params{};
        params.device = device;
        params.channelCount = 1;
        params.sampleFormat = paInt16;
        params.suggestedLatency = info->defaultHighOutputLatency;
        double deviceRate = rate;
        if (Pa_IsFormatSupported(nullptr, &params, rate) != paFormatIsSupported) {
            deviceRate = info->defaultSampleRate;
            m_resampler = std::make_unique<StereoResampler>(rate, deviceRate, StereoResampler::Input::Int16);
            if (!m_resampler->Error().empty()) {
                DebugLog(m_resampler->Error());
                Close();
                return false;
            }
        }
        PaError e = Pa_OpenStream(&m_stream, nullptr, &params, deviceRate, paFramesPerBufferUnspecified,
                                  paClipOff, nullptr, nullptr);
        if (e == paNoError)
            e = Pa_StartStream(m_stream);
        if (e != paNoError) {
            DebugLog(std::string("output device refused: ") + Pa_GetErrorText(e));
            Close();
            return false;
        }
        const PaStreamInfo* stream = Pa_GetStreamInfo(m_stream);
        m_latency = stream != nullptr ? static_cast<int64_t>(stream->outputLatency * rate) : 0;
        DebugLog("playing on \"" + std::string(info->name) + "\" at " +
                 std::to_string(static_cast<int>(deviceRate)) + " Hz");
        return true;
    }

    bool Write(const int16_t* samples, int32_t count) override
    {
        if (!m_resampler)
            return Put(samples, count);
        // Both channels of the converter carry the one channel.
        for (int32_t done = 0; done < count;) {
            const int32_t n = std::min(kChunk, count - done);
            for (int32_t i = 0; i < n; ++i)
                m_pairs[2 * i] = m_pairs[2 * i + 1] = samples[done + i];
            int32_t at = 0;
            while (at < n) {
                int32_t consumed = 0;
                const int32_t out = m_resampler->Process(m_pairs + 2 * at, n - at, consumed, m_converted, 4 * kChunk);
                if (!PutLeft(out))
                    return false;
                if (consumed == 0 && out == 0)
                    break;
                at += consumed;
            }
            done += n;
        }
        return true;
    }

    int64_t Pending() override { return m_latency; }

    void Drain() override
    {
        if (m_resampler)
            while (const int32_t out = m_resampler->Drain(m_converted, 4 * kChunk))
                if (!PutLeft(out))
                    break;
        // Returns once what was written has been played.
        if (m_stream != nullptr)
            Pa_StopStream(m_stream);
    }

    void Discard() override
    {
        if (m_stream != nullptr)
            Pa_AbortStream(m_stream);
    }

    void Close() override
    {
        if (m_stream != nullptr)
            Pa_CloseStream(m_stream);
        m_stream = nullptr;
        m_resampler.reset();
        if (m_initialised)
            Pa_Terminate();
        m_initialised = false;
    }

private:
    bool Put(const int16_t* samples, int32_t count)
    {
        const PaError e = Pa_WriteStream(m_stream, samples, static_cast<unsigned long>(count));
        // Running dry for a moment is heard as a gap, not a lost device.
        return e == paNoError || e == paOutputUnderflowed;
    }
    bool PutLeft(int32_t pairs)
    {
        for (int32_t i = 0; i < pairs; ++i)
            m_mono[i] = m_converted[2 * i];
        return pairs == 0 || Put(m_mono, pairs);
    }

    PaStream* m_stream = nullptr;
    bool m_initialised = false;
    int64_t m_latency = 0;
    std::unique_ptr<StereoResampler> m_resampler;
    int16_t m_pairs[2 * kChunk] = {};
    int16_t m_converted[8 * kChunk] = {};
    int16_t m_mono[4 * kChunk] = {};
};

}  // namespace

std::unique_ptr<PlaybackDevice> MakePortAudioPlaybackDevice()
{
    return std::make_unique<PortAudioPlaybackDevice>();
}

}  // namespace vocalume
