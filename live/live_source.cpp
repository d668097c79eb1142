// The live input: the desktop's sound server where one answers, otherwise
// the system's default recording device through PortAudio; either runs
// behind a guard that keeps the user-interface thread from waiting on it.
#include "live_sound_source.h"

#include <cstdlib>
#include <memory>
#include <string>

#include "guarded_source.h"
#include "portaudio_source.h"
#include "pulse_source.h"

namespace vocalume {
namespace {

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
            m_active->SetInput(m_input);
            if (m_active->Open(format, sink, userMessage))
                return true;
        }
#else
        (void)serverAllowed;
#endif
        m_active = MakePortAudioSoundSource();
        m_active->SetInput(m_input);
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

    void SetInput(const std::string& name) override { m_input = name; }
    bool InputMissing() const override { return m_active && m_active->InputMissing(); }

private:
    std::unique_ptr<SoundSource> m_active;
    std::string m_input;
};

}  // namespace

std::unique_ptr<SoundSource> MakeLiveSoundSource()
{
    return std::make_unique<GuardedSoundSource>([] { return std::make_unique<LiveSoundSource>(); });
}

}  // namespace vocalume
