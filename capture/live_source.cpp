// The live input: the desktop's sound server where one answers, otherwise
// the system's default recording device through PortAudio.
#include <portaudio.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "pulse_source.h"
#include "resampler.h"
#include "sound_source.h"
#include "wave_in.h"

namespace vocalume {
namespace {

constexpr int32_t kScratchPairs = 1024;

class PortAudioSoundSource : public SoundSource {
public:
    ~PortAudioSoundSource() override
    {
        Stop();
        Close();
    }

    bool Open(const WaveFormat& format, SoundSink& sink, std::string&) override
    {
        PaError e = Pa_Initialize();
        if (e != paNoError) {
            DebugLog(std::string("sound system unavailable: ") + Pa_GetErrorText(e));
            return false;
        }
        m_initialised = true;
        m_sink = &sink;
        if (!OpenDefaultInput(format.samplesPerSec)) {
            Close();
            return false;
        }
        return true;
    }

    void Start() override
    {
        if (m_stream && !m_started) {
            const PaError e = Pa_StartStream(m_stream);
            m_started = e == paNoError;
            if (!m_started)
                DebugLog(std::string("record device did not start: ") + Pa_GetErrorText(e));
        }
    }

    void Stop() override
    {
        // Returns once the callback has run for the last time.
        if (m_stream && m_started)
            Pa_StopStream(m_stream);
        m_started = false;
    }

    void Close() override
    {
        if (m_stream)
            Pa_CloseStream(m_stream);
        m_stream = nullptr;
        m_resampler.reset();
        if (m_initialised)
            Pa_Terminate();
        m_initialised = false;
        m_sink = nullptr;
    }

private:
    bool OpenDefaultInput(int rate)
    {
        const PaDeviceIndex device = Pa_GetDefaultInputDevice();
        const PaDeviceInfo* info = device == paNoDevice ? nullptr : Pa_GetDeviceInfo(device);
        if (info == nullptr || info->maxInputChannels < 1) {
            DebugLog("no default record device");
            return false;
        }
        m_channels = std::min(2, info->maxInputChannels);
        PaStreamParameters params{};
        params.device = device;
        params.channelCount = m_channels;
        params.sampleFormat = paInt16;
        params.suggestedLatency = info->defaultHighInputLatency;

        // VOCALUME_FORCE_DEVICE_RATE makes the conversion path testable on
        // servers that would take the recording rate directly.
        const bool direct = std::getenv("VOCALUME_FORCE_DEVICE_RATE") == nullptr;
        PaError e = paNoError;
        if (direct && Pa_IsFormatSupported(&params, nullptr, rate) == paFormatIsSupported) {
            e = Pa_OpenStream(&m_stream, &params, nullptr, rate, paFramesPerBufferUnspecified,
                              paClipOff, &PortAudioSoundSource::Callback, this);
            if (e == paNoError) {
                DebugLog("record device \"" + std::string(info->name) + "\" opened at " +
                         std::to_string(rate) + " Hz, " + std::to_string(m_channels) + " channel(s)");
                return true;
            }
            m_stream = nullptr;
        }
        // Many devices only run at their own rate: record at that and convert.
        const double deviceRate = info->defaultSampleRate;
        m_resampler = std::make_unique<StereoResampler>(deviceRate, rate, StereoResampler::Input::Int16);
        if (!m_resampler->Error().empty()) {
            DebugLog(m_resampler->Error());
            return false;
        }
        e = Pa_OpenStream(&m_stream, &params, nullptr, deviceRate, paFramesPerBufferUnspecified,
                          paClipOff, &PortAudioSoundSource::Callback, this);
        if (e != paNoError) {
            m_stream = nullptr;
            DebugLog(std::string("record device refused: ") + Pa_GetErrorText(e));
            return false;
        }
        DebugLog("record device \"" + std::string(info->name) + "\" opened at " +
                 std::to_string(static_cast<int>(deviceRate)) + " Hz, converting to " +
                 std::to_string(rate) + " Hz");
        return true;
    }

    static int Callback(const void* input, void*, unsigned long frameCount,
                        const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* user)
    {
        auto* self = static_cast<PortAudioSoundSource*>(user);
        if (input != nullptr)
            self->Take(static_cast<const int16_t*>(input), static_cast<int32_t>(frameCount));
        return paContinue;
    }

    // Runs on the sound system's thread: no allocation, no lock.
    void Take(const int16_t* in, int32_t frames)
    {
        if (m_channels == 2 && !m_resampler) {
            m_sink->Deliver(in, frames);
            return;
        }
        while (frames > 0) {
            const int32_t n = std::min(frames, kScratchPairs);
            for (int32_t i = 0; i < n; ++i) {
                m_stereo[2 * i] = in[i * m_channels];
                m_stereo[2 * i + 1] = in[i * m_channels + m_channels - 1];
            }
            in += static_cast<ptrdiff_t>(n) * m_channels;
            frames -= n;
            if (!m_resampler) {
                m_sink->Deliver(m_stereo, n);
                continue;
            }
            int32_t pos = 0;
            while (pos < n) {
                int32_t consumed = 0;
                const int32_t out = m_resampler->Process(m_stereo + 2 * pos, n - pos, consumed,
                                                         m_converted, kScratchPairs);
                if (out > 0)
                    m_sink->Deliver(m_converted, out);
                if (consumed == 0 && out == 0)
                    break;
                pos += consumed;
            }
        }
    }

    PaStream* m_stream = nullptr;
    bool m_initialised = false;
    bool m_started = false;
    SoundSink* m_sink = nullptr;
    int m_channels = 2;
    std::unique_ptr<StereoResampler> m_resampler;
    int16_t m_stereo[2 * kScratchPairs] = {};
    int16_t m_converted[2 * kScratchPairs] = {};
};

// Chooses the route when the device opens, so that a sound server started
// after the program is still found. VOCALUME_SOUND_API=portaudio (or
// VOCALUME_FORCE_DEVICE_RATE) skips the sound server.
class LiveSoundSource final : public SoundSource {
public:
    bool Open(const WaveFormat& format, SoundSink& sink, std::string& userMessage) override
    {
        Close();
        const char* api = std::getenv("VOCALUME_SOUND_API");
        const bool serverAllowed = std::getenv("VOCALUME_FORCE_DEVICE_RATE") == nullptr &&
                                   (api == nullptr || std::string(api) != "portaudio");
#ifdef VOCALUME_HAVE_PULSE
        if (serverAllowed) {
            m_active = MakePulseSoundSource();
            if (m_active->Open(format, sink, userMessage))
                return true;
        }
#else
        (void)serverAllowed;
#endif
        m_active = std::make_unique<PortAudioSoundSource>();
        if (m_active->Open(format, sink, userMessage))
            return true;
        m_active.reset();
        return false;
    }
    void Start() override
    {
        if (m_active)
            m_active->Start();
    }
    void Stop() override
    {
        if (m_active)
            m_active->Stop();
    }
    void Close() override
    {
        if (m_active)
            m_active->Close();
        m_active.reset();
    }

private:
    std::unique_ptr<SoundSource> m_active;
};

}  // namespace

std::unique_ptr<SoundSource> MakeLiveSoundSource()
{
    return std::make_unique<LiveSoundSource>();
}

}  // namespace vocalume
