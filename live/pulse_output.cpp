// Playback through the desktop's sound server. The server converts the rate
// for the loudspeaker and reports how much it holds, which is how far the
// sound heard lags behind the sound written.
#include <pulse/error.h>
#include <pulse/simple.h>

#include <string>

#include "playback_device.h"
#include "sound_source.h"

namespace vocalume {
namespace {

// The server holds about this much sound ahead of the loudspeaker: enough
// not to run dry when the program is busy, little enough that a stop is
// heard at once (what is held is thrown away).
constexpr int32_t kHeldMs = 150;
constexpr int32_t kRequestMs = 20;

class PulsePlaybackDevice final : public PlaybackDevice {
public:
    ~PulsePlaybackDevice() override { Close(); }

    bool Open(int32_t rate, std::string&) override
    {
        Close();
        pa_sample_spec format{};
        format.format = PA_SAMPLE_S16LE;
        format.rate = static_cast<uint32_t>(rate);
        format.channels = 1;
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = static_cast<uint32_t>(rate * kHeldMs / 1000 * 2);
        attr.minreq = static_cast<uint32_t>(rate * kRequestMs / 1000 * 2);
        attr.prebuf = static_cast<uint32_t>(-1);
        attr.fragsize = static_cast<uint32_t>(-1);
        int error = 0;
        m_stream = pa_simple_new(nullptr, "Vocalume", PA_STREAM_PLAYBACK, nullptr, "Replay", &format, nullptr,
                                 &attr, &error);
        if (m_stream == nullptr) {
            DebugLog(std::string("no sound server to play to: ") + pa_strerror(error));
            return false;
        }
        m_rate = rate;
        DebugLog("playing through the sound server at " + std::to_string(rate) + " Hz");
        return true;
    }

    bool Write(const int16_t* samples, int32_t count) override
    {
        int error = 0;
        if (pa_simple_write(m_stream, samples, static_cast<size_t>(count) * 2, &error) < 0) {
            DebugLog(std::string("sound server write failed: ") + pa_strerror(error));
            return false;
        }
        return true;
    }

    int64_t Pending() override
    {
        int error = 0;
        const pa_usec_t latency = pa_simple_get_latency(m_stream, &error);
        if (latency == static_cast<pa_usec_t>(-1))
            return -1;
        return static_cast<int64_t>(latency) * m_rate / 1000000;
    }

    void Drain() override
    {
        int error = 0;
        pa_simple_drain(m_stream, &error);
    }

    void Discard() override
    {
        int error = 0;
        pa_simple_flush(m_stream, &error);
    }

    void Close() override
    {
        if (m_stream != nullptr)
            pa_simple_free(m_stream);
        m_stream = nullptr;
    }

private:
    pa_simple* m_stream = nullptr;
    int64_t m_rate = 1;
};

}  // namespace

std::unique_ptr<PlaybackDevice> MakePulsePlaybackDevice()
{
    return std::make_unique<PulsePlaybackDevice>();
}

}  // namespace vocalume
