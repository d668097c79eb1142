// The route to the loudspeaker is chosen at every Play, so that a sound
// server started after the program is still found. VOCALUME_SOUND_API=
// portaudio skips the sound server, as for the input.
#include <cstdlib>
#include <memory>
#include <string>

#include "first_answering.h"
#include "guarded_output.h"
#include "live_sound_output.h"

namespace vocalume {

#ifndef VOCALUME_HAVE_PULSE
std::unique_ptr<PlaybackDevice> MakePulsePlaybackDevice() { return nullptr; }
#endif

std::unique_ptr<SoundOutput> MakeLiveSoundOutput()
{
    return std::make_unique<GuardedSoundOutput>([](const DeviceAttempt& attempt) {
        const char* api = std::getenv("VOCALUME_SOUND_API");
        std::vector<PlaybackRoute> routes;
        if (api == nullptr || std::string(api) != "portaudio")
            routes.emplace_back(&MakePulsePlaybackDevice);
        routes.emplace_back(&MakePortAudioPlaybackDevice);
        return MakeFirstAnsweringDevice(std::move(routes), attempt);
    });
}

}  // namespace vocalume
