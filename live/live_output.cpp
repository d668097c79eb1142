// The route to the loudspeaker is chosen at every Play, so that a sound
// server started after the program is still found. VOCALUME_SOUND_API=
// portaudio skips the sound server, as for the input.
#include <cstdlib>
#include <memory>
#include <string>

#include "guarded_output.h"
#include "live_sound_output.h"

namespace vocalume {
namespace {

class LivePlaybackDevice final : public PlaybackDevice {
public:
    bool Open(int32_t rate, std::string& reason) override
    {
        const char* api = std::getenv("VOCALUME_SOUND_API");
        if (api == nullptr || std::string(api) != "portaudio") {
            m_active = MakePulsePlaybackDevice();
            if (m_active && m_active->Open(rate, reason))
                return true;
        }
        m_active = MakePortAudioPlaybackDevice();
        if (m_active->Open(rate, reason))
            return true;
        m_active.reset();
        return false;
    }
    bool Write(const int16_t* samples, int32_t count) override { return m_active->Write(samples, count); }
    int64_t Pending() override { return m_active->Pending(); }
    void Drain() override { m_active->Drain(); }
    void Discard() override { m_active->Discard(); }
    void Close() override
    {
        if (m_active)
            m_active->Close();
        m_active.reset();
    }

private:
    std::unique_ptr<PlaybackDevice> m_active;
};

}  // namespace

#ifndef VOCALUME_HAVE_PULSE
std::unique_ptr<PlaybackDevice> MakePulsePlaybackDevice() { return nullptr; }
#endif

std::unique_ptr<SoundOutput> MakeLiveSoundOutput()
{
    return std::make_unique<GuardedSoundOutput>([] { return std::make_unique<LivePlaybackDevice>(); });
}

}  // namespace vocalume
