// A live sound source that never holds up the user-interface thread: every
// call that may wait on a device or its server (opening, starting, stopping,
// closing) runs on a device thread of its own, which takes its turn in the
// device lane (device_lane.h). Open returns at once: the device opens in the
// background and starts when it has, and a device that cannot be opened,
// or does not answer within a bound, is told to the sink (OpenFailed) and
// given up. A given-up device's thread finishes whatever call the device
// holds it in and then ends, opening nothing more, and nothing it delivers
// reaches the sink. While recording, a device that delivers nothing for a
// while is reported lost, once.
//
// Threads: the SoundSource operations run on the user-interface thread; the
// wrapped source's sink calls arrive on its own threads and are passed on
// under a short lock, so that once Stop returns the sink hears nothing more.
// A watcher thread of each Open keeps the bounds; it ends with the session.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "device_lane.h"
#include "sound_source.h"

namespace vocalume {

class GuardedSoundSource final : public SoundSource {
public:
    struct Bounds {
        // Longest wait for a device to open.
        std::chrono::milliseconds open{3000};
        // Longest wait for it to stop and close.
        std::chrono::milliseconds stop{400};
        // Recording that delivers nothing for this long means a lost device.
        std::chrono::milliseconds silence{3000};
    };
    // Makes a fresh source for every Open, on the device thread; it may ask
    // `attempt` whether it has been given up meanwhile.
    using Factory = std::function<std::unique_ptr<SoundSource>(const DeviceAttempt& attempt)>;

    explicit GuardedSoundSource(Factory make);
    GuardedSoundSource(Factory make, Bounds bounds);
    ~GuardedSoundSource() override;
    GuardedSoundSource(const GuardedSoundSource&) = delete;
    GuardedSoundSource& operator=(const GuardedSoundSource&) = delete;

    // Returns true at once; `sink` is used until Stop or Close returns,
    // never after, and hears OpenFailed if the device cannot be opened.
    bool Open(const WaveFormat& format, SoundSink& sink, std::string& userMessage) override;
    void Start() override;
    // Stops and closes the wrapped source; Close then has nothing left to do.
    void Stop() override;
    void Close() override;
    void SetInput(const std::string& name) override { m_input = name; }
    bool InputMissing() const override;

    // Shared by this object and the device thread, which may outlive it.
    struct Session;

private:
    // Ends the current session: waits up to the stop bound for a device that
    // opened, then lets it go; one still opening is given up at once.
    void End();

    Factory m_make;
    Bounds m_bounds;
    std::string m_input;
    std::shared_ptr<Session> m_session;
    std::thread m_thread;
    std::thread m_watcher;
};

}  // namespace vocalume
