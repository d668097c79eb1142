// The live input straight from the desktop's sound server (PulseAudio, or
// PipeWire's PulseAudio service). The server converts rate and channels, and
// the reading thread wakes once per 20 ms block, or once per device buffer
// where those are shorter (the low-latency picture); going through
// PortAudio's ALSA bridge to the same server costs ten times the processor
// time.
#include "pulse_source.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>


namespace vocalume {
namespace {

constexpr int32_t kBlocksPerSecond = 50;
// Enough for 20 ms at any rate a device is likely to be asked for.
constexpr int32_t kMaxBlockPairs = 4096;

class PulseSoundSource final : public SoundSource {
public:
    ~PulseSoundSource() override
    {
        Stop();
        Close();
    }

    bool Open(const WaveFormat& format, SoundSink& sink, std::string&) override
    {
        Close();
        pa_sample_spec sampleFormat{};
        sampleFormat.format = PA_SAMPLE_S16LE;
        sampleFormat.rate = static_cast<uint32_t>(format.samplesPerSec);
        sampleFormat.channels = 2;
        m_blockPairs = std::min(kMaxBlockPairs, format.samplesPerSec / kBlocksPerSecond);
        if (sink.BufferPairs() > 0)
            m_blockPairs = std::min(m_blockPairs, sink.BufferPairs());
        if (m_blockPairs < 1)
            return false;
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.fragsize = static_cast<uint32_t>(m_blockPairs * 4);
        attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
        int error = 0;
        m_inputMissing = false;
        if (!m_input.empty()) {
            m_stream = pa_simple_new(nullptr, "Vocalume", PA_STREAM_RECORD, m_input.c_str(), "Voice",
                                     &sampleFormat, nullptr, &attr, &error);
            // A source that is gone: the server answers, with no such entity.
            m_inputMissing = m_stream == nullptr && error == PA_ERR_NOENTITY;
            if (m_stream == nullptr && !m_inputMissing) {
                DebugLog(std::string("no sound server: ") + pa_strerror(error));
                return false;
            }
        }
        if (m_stream == nullptr)
            m_stream = pa_simple_new(nullptr, "Vocalume", PA_STREAM_RECORD, nullptr, "Voice", &sampleFormat,
                                     nullptr, &attr, &error);
        if (m_stream == nullptr) {
            DebugLog(std::string("no sound server: ") + pa_strerror(error));
            return false;
        }
        m_sink = &sink;
        DebugLog("recording from the sound server at " + std::to_string(format.samplesPerSec) +
                 " Hz in blocks of " + std::to_string(m_blockPairs) + " samples");
        return true;
    }

    void SetInput(const std::string& name) override { m_input = name; }
    bool InputMissing() const override { return m_inputMissing; }

    void Start() override
    {
        if (m_stream == nullptr || m_reader.joinable())
            return;
        // Sound that arrived between opening and now is stale.
        int error = 0;
        pa_simple_flush(m_stream, &error);
        m_running.store(true, std::memory_order_relaxed);
        m_reader = std::thread([this] { Read(); });
    }

    void Stop() override
    {
        // The reader finishes the block it waits for (at most 20 ms of sound)
        // and then never calls the sink again.
        m_running.store(false, std::memory_order_relaxed);
        if (m_reader.joinable())
            m_reader.join();
    }

    void Close() override
    {
        Stop();
        if (m_stream != nullptr)
            pa_simple_free(m_stream);
        m_stream = nullptr;
        m_sink = nullptr;
    }

private:
    void Read()
    {
        while (m_running.load(std::memory_order_relaxed)) {
            int error = 0;
            if (pa_simple_read(m_stream, m_block, static_cast<size_t>(m_blockPairs) * 4, &error) < 0) {
                // The server went away, or took the microphone away.
                DebugLog(std::string("sound server read failed: ") + pa_strerror(error));
                if (m_running.load(std::memory_order_relaxed))
                    m_sink->DeviceLost(std::string("the sound server stopped (") + pa_strerror(error) + ")");
                return;
            }
            m_sink->Deliver(m_block, m_blockPairs);
        }
    }

    pa_simple* m_stream = nullptr;
    std::string m_input;  // the chosen source; empty: the default
    bool m_inputMissing = false;
    SoundSink* m_sink = nullptr;
    int32_t m_blockPairs = 0;
    std::atomic<bool> m_running{false};
    std::thread m_reader;
    int16_t m_block[2 * kMaxBlockPairs] = {};
};

}  // namespace

std::unique_ptr<SoundSource> MakePulseSoundSource()
{
    return std::make_unique<PulseSoundSource>();
}

}  // namespace vocalume
