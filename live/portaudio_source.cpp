// PortAudio's callback runs on the sound system's real-time thread: it only
// copies the samples into a ring made before the stream starts. A reader
// thread of our own takes them out every few milliseconds, picks the two
// channels, converts the rate where needed and delivers to the device.
#include "portaudio_source.h"

#include <portaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "resampler.h"
#include "sample_ring.h"

namespace vocalume {
namespace {

constexpr int32_t kScratchPairs = 1024;
// How often the reader empties the ring; with device buffers shorter than
// kShortBufferSeconds (the low-latency picture) it asks the device for its
// low latency and empties the ring every kShortReaderPeriod.
constexpr auto kReaderPeriod = std::chrono::milliseconds(10);
constexpr auto kShortReaderPeriod = std::chrono::milliseconds(4);
constexpr double kShortBufferSeconds = 0.02;
// The ring holds this much sound, far more than one reader period.
constexpr double kRingSeconds = 0.5;

class PortAudioSoundSource final : public SoundSource {
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
        m_inputMissing = false;
        m_short = sink.BufferPairs() > 0 && sink.BufferPairs() < kShortBufferSeconds * format.samplesPerSec;
        PaDeviceIndex device = Pa_GetDefaultInputDevice();
        if (!m_input.empty()) {
            const PaDeviceIndex named = InputNamed(m_input);
            m_inputMissing = named == paNoDevice;
            if (!m_inputMissing)
                device = named;
        }
        if (!OpenInput(device, format.samplesPerSec)) {
            Close();
            return false;
        }
        return true;
    }

    void SetInput(const std::string& name) override { m_input = name; }
    bool InputMissing() const override { return m_inputMissing; }

    void Start() override
    {
        if (!m_stream || m_started)
            return;
        // The reader runs before the first callback can fill the ring.
        m_running.store(true, std::memory_order_relaxed);
        m_reader = std::thread([this] { Read(); });
        const PaError e = Pa_StartStream(m_stream);
        m_started = e == paNoError;
        if (!m_started) {
            DebugLog(std::string("record device did not start: ") + Pa_GetErrorText(e));
            StopReader();
        }
    }

    void Stop() override
    {
        // Returns once the callback has run for the last time; the reader
        // then delivers what is left of its current turn and ends.
        if (m_stream && m_started)
            Pa_StopStream(m_stream);
        m_started = false;
        StopReader();
    }

    void Close() override
    {
        StopReader();
        if (m_stream)
            Pa_CloseStream(m_stream);
        m_stream = nullptr;
        if (m_ring && m_ring->Dropped() > 0)
            DebugLog("the record device's queue dropped " + std::to_string(m_ring->Dropped()) +
                     " samples");
        m_ring.reset();
        m_resampler.reset();
        if (m_initialised)
            Pa_Terminate();
        m_initialised = false;
        m_sink = nullptr;
    }

private:
    static PaDeviceIndex InputNamed(const std::string& name)
    {
        for (PaDeviceIndex i = 0; i < Pa_GetDeviceCount(); ++i)
            if (const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
                info != nullptr && info->maxInputChannels > 0 && name == info->name)
                return i;
        return paNoDevice;
    }

    bool OpenInput(PaDeviceIndex device, int rate)
    {
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
        params.suggestedLatency = m_short ? info->defaultLowInputLatency : info->defaultHighInputLatency;

        // VOCALUME_FORCE_DEVICE_RATE makes the conversion path testable on
        // servers that would take the recording rate directly.
        const bool direct = std::getenv("VOCALUME_FORCE_DEVICE_RATE") == nullptr;
        PaError e = paNoError;
        if (direct && Pa_IsFormatSupported(&params, nullptr, rate) == paFormatIsSupported) {
            MakeRing(rate);
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
        MakeRing(deviceRate);
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

    void MakeRing(double deviceRate)
    {
        const double samples = deviceRate * m_channels * kRingSeconds;
        m_ring = std::make_unique<SampleRing>(static_cast<size_t>(std::max(samples, 4096.0)));
    }

    static int Callback(const void* input, void*, unsigned long frameCount,
                        const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags, void* user)
    {
        auto* self = static_cast<PortAudioSoundSource*>(user);
        // The sound system's real-time thread: a copy into the ring, nothing
        // more (no allocation, no lock, no wait).
        if (input != nullptr)
            self->m_ring->Write(static_cast<const int16_t*>(input),
                                static_cast<size_t>(frameCount) * static_cast<size_t>(self->m_channels));
        return paContinue;
    }

    void StopReader()
    {
        m_running.store(false, std::memory_order_relaxed);
        if (m_reader.joinable())
            m_reader.join();
    }

    // The reader thread: empties the ring every period.
    void Read()
    {
        const size_t frameSamples = static_cast<size_t>(m_channels);
        const size_t most = static_cast<size_t>(kScratchPairs) * frameSamples;
        while (m_running.load(std::memory_order_relaxed)) {
            std::this_thread::sleep_for(m_short ? kShortReaderPeriod : kReaderPeriod);
            size_t available;
            while ((available = m_ring->Available()) >= frameSamples) {
                const size_t take = std::min(available - available % frameSamples, most);
                const size_t got = m_ring->Read(m_raw, take);
                Take(m_raw, static_cast<int32_t>(got / frameSamples));
            }
        }
    }

    // On the reader thread: `frames` frames of m_channels samples.
    void Take(const int16_t* in, int32_t frames)
    {
        if (m_channels == 2 && !m_resampler) {
            m_sink->Deliver(in, frames);
            return;
        }
        for (int32_t i = 0; i < frames; ++i) {
            m_stereo[2 * i] = in[i * m_channels];
            m_stereo[2 * i + 1] = in[i * m_channels + m_channels - 1];
        }
        if (!m_resampler) {
            m_sink->Deliver(m_stereo, frames);
            return;
        }
        int32_t pos = 0;
        while (pos < frames) {
            int32_t consumed = 0;
            const int32_t out = m_resampler->Process(m_stereo + 2 * pos, frames - pos, consumed,
                                                     m_converted, kScratchPairs);
            if (out > 0)
                m_sink->Deliver(m_converted, out);
            if (consumed == 0 && out == 0)
                break;
            pos += consumed;
        }
    }

    PaStream* m_stream = nullptr;
    std::string m_input;
    bool m_inputMissing = false;
    bool m_short = false;  // the device's buffers are short: read often
    bool m_initialised = false;
    bool m_started = false;
    SoundSink* m_sink = nullptr;
    int m_channels = 2;
    std::unique_ptr<StereoResampler> m_resampler;
    std::unique_ptr<SampleRing> m_ring;
    std::atomic<bool> m_running{false};
    std::thread m_reader;
    int16_t m_raw[2 * kScratchPairs] = {};
    int16_t m_stereo[2 * kScratchPairs] = {};
    int16_t m_converted[2 * kScratchPairs] = {};
};

}  // namespace

std::unique_ptr<SoundSource> MakePortAudioSoundSource()
{
    return std::make_unique<PortAudioSoundSource>();
}

}  // namespace vocalume
