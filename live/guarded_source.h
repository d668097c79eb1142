// A live sound source that never holds up the user-interface thread: every
// call that may wait on a device or its server (opening, starting, stopping,
// closing) runs on a device thread of its own, and the caller waits for it
// only up to a bound. A device that does not answer in time is given up: its
// thread finishes the call whenever the device lets it and then ends, and
// nothing it delivers after that reaches the sink. While recording, a device
// that delivers nothing for a while is reported lost, once.
//
// Threads: the SoundSource operations run on the user-interface thread; the
// wrapped source's sink calls arrive on its own threads and are passed on
// under a short lock, so that once Stop returns the sink hears nothing more.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

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
    using Factory = std::function<std::unique_ptr<SoundSource>()>;

    // `make` builds a fresh source for every Open, on the device thread.
    explicit GuardedSoundSource(Factory make);
    GuardedSoundSource(Factory make, Bounds bounds);
    ~GuardedSoundSource() override;
    GuardedSoundSource(const GuardedSoundSource&) = delete;
    GuardedSoundSource& operator=(const GuardedSoundSource&) = delete;

    // `sink` is used until Stop or Close returns, never after.
    bool Open(const WaveFormat& format, SoundSink& sink, std::string& userMessage) override;
    void Start() override;
    // Stops and closes the wrapped source; Close then has nothing left to do.
    void Stop() override;
    void Close() override;
    void SetInput(const std::string& name) override { m_input = name; }
    bool InputMissing() const override { return m_inputMissing; }

    // Shared by this object and the device thread, which may outlive it.
    struct Session;

private:
    // Ends the current session: waits up to the stop bound, then lets it go.
    void End();

    Factory m_make;
    Bounds m_bounds;
    std::string m_input;
    bool m_inputMissing = false;
    std::shared_ptr<Session> m_session;
    std::thread m_thread;
};

}  // namespace vocalume
