// The inputs the Configuration dialog offers: the sound server's capture
// sources (microphones first, then the monitors of its outputs), or
// PortAudio's input devices where no server answers. Asking never keeps the
// window waiting long: a server that does not answer within a second gives an
// empty list rather than a second try through PortAudio, which would wait on
// the same server.
#include "live_sound_source.h"

#include "device_lane.h"

#include <portaudio.h>

#include <chrono>
#include <thread>

#ifdef VOCALUME_HAVE_PULSE_LIST
#include <pulse/pulseaudio.h>
#endif

namespace vocalume {
namespace {

constexpr auto kAnswerWithin = std::chrono::seconds(1);

#ifdef VOCALUME_HAVE_PULSE_LIST
enum class ServerAnswer { Listed, Refused, Silent };

struct Listing {
    std::vector<InputChoice> microphones;
    std::vector<InputChoice> monitors;
    bool done = false;
};

void OnSource(pa_context*, const pa_source_info* info, int eol, void* user)
{
    auto* listing = static_cast<Listing*>(user);
    if (eol != 0 || info == nullptr) {
        listing->done = true;
        return;
    }
    InputChoice choice{info->name, info->description != nullptr ? info->description : info->name};
    if (info->monitor_of_sink != PA_INVALID_INDEX) {
        if (choice.description.rfind("Monitor of ", 0) != 0)
            choice.description = "Monitor of " + choice.description;
        listing->monitors.push_back(choice);
    } else {
        listing->microphones.push_back(choice);
    }
}

ServerAnswer ListServerSources(std::vector<InputChoice>& inputs)
{
    pa_mainloop* loop = pa_mainloop_new();
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "Vocalume");
    ServerAnswer answer = ServerAnswer::Silent;
    Listing listing;
    pa_operation* operation = nullptr;
    if (context != nullptr && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        const auto until = std::chrono::steady_clock::now() + kAnswerWithin;
        while (std::chrono::steady_clock::now() < until) {
            pa_mainloop_iterate(loop, 0, nullptr);
            const pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) {
                answer = ServerAnswer::Refused;
                break;
            }
            if (state == PA_CONTEXT_READY && operation == nullptr)
                operation = pa_context_get_source_info_list(context, OnSource, &listing);
            if (listing.done) {
                answer = ServerAnswer::Listed;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    } else {
        answer = ServerAnswer::Refused;
    }
    if (operation != nullptr)
        pa_operation_unref(operation);
    if (context != nullptr) {
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
    pa_mainloop_free(loop);
    if (answer == ServerAnswer::Listed) {
        inputs.insert(inputs.end(), listing.microphones.begin(), listing.microphones.end());
        inputs.insert(inputs.end(), listing.monitors.begin(), listing.monitors.end());
    }
    return answer;
}
#endif

void ListPortAudioInputs(std::vector<InputChoice>& inputs)
{
    // The sound system's start-up takes its turn among the device threads;
    // a turn that does not come soon gives an empty list.
    const std::shared_ptr<DeviceAttempt> attempt = BeginDeviceAttempt();
    const DeviceTurn turn(*attempt, kAnswerWithin);
    EndDeviceAttempt(*attempt);
    if (!turn.Held() || Pa_Initialize() != paNoError)
        return;
    for (PaDeviceIndex i = 0; i < Pa_GetDeviceCount(); ++i)
        if (const PaDeviceInfo* info = Pa_GetDeviceInfo(i); info != nullptr && info->maxInputChannels > 0)
            inputs.push_back({info->name, info->name});
    Pa_Terminate();
}

}  // namespace

std::vector<InputChoice> ListLiveInputs()
{
    std::vector<InputChoice> inputs;
#ifdef VOCALUME_HAVE_PULSE_LIST
    const ServerAnswer answer = ListServerSources(inputs);
    if (answer != ServerAnswer::Refused)
        return inputs;
#endif
    ListPortAudioInputs(inputs);
    return inputs;
}

}  // namespace vocalume
