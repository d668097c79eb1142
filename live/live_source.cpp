// The live input: the desktop's sound server where one answers, otherwise
// the system's default recording device through PortAudio; either runs
// behind a guard that keeps the user-interface thread from waiting on it.
#include "live_sound_source.h"

#include <cstdlib>
#include <memory>
#include <string>

#include "first_answering.h"
#include "guarded_source.h"
#include "portaudio_source.h"
#include "pulse_source.h"

namespace vocalume {

std::unique_ptr<SoundSource> MakeLiveSoundSource()
{
    // The route is chosen when the device opens, so that a sound server
    // started after the program is still found. VOCALUME_SOUND_API=portaudio
    // (or VOCALUME_FORCE_DEVICE_RATE) skips the sound server.
    return std::make_unique<GuardedSoundSource>([](const DeviceAttempt& attempt) {
        const char* api = std::getenv("VOCALUME_SOUND_API");
        const bool serverAllowed = std::getenv("VOCALUME_FORCE_DEVICE_RATE") == nullptr &&
                                   (api == nullptr || std::string(api) != "portaudio");
        std::vector<SourceRoute> routes;
#ifdef VOCALUME_HAVE_PULSE
        if (serverAllowed)
            routes.emplace_back(&MakePulseSoundSource);
#else
        (void)serverAllowed;
#endif
        routes.emplace_back(&MakePortAudioSoundSource);
        return MakeFirstAnsweringSource(std::move(routes), attempt);
    });
}

}  // namespace vocalume
