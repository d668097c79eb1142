// Sound output that never holds up the user-interface thread: the device is
// opened, fed, drained and closed on a device thread of its own, and the
// caller waits for it only up to a bound. A device that does not answer in
// time is given up: its thread ends whenever the device lets it, holding the
// samples until then. The position heard is published by the device thread
// after every block and carried forward by the clock in between, so that a
// line following it moves smoothly.
//
// Threads: the SoundOutput operations run on the user-interface thread; the
// device thread only writes the published position, under a short lock.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "playback_device.h"
#include "sound_output.h"

namespace vocalume {

class GuardedSoundOutput final : public SoundOutput {
public:
    struct Bounds {
        // Longest wait for a device to open.
        std::chrono::milliseconds open{2000};
        // Longest wait for it to stop and close.
        std::chrono::milliseconds stop{400};
    };
    using Factory = std::function<std::unique_ptr<PlaybackDevice>()>;

    // `make` builds a fresh device for every Play, on the device thread.
    explicit GuardedSoundOutput(Factory make);
    GuardedSoundOutput(Factory make, Bounds bounds);
    ~GuardedSoundOutput() override;
    GuardedSoundOutput(const GuardedSoundOutput&) = delete;
    GuardedSoundOutput& operator=(const GuardedSoundOutput&) = delete;

    bool Play(SoundChunks samples, int64_t from, std::string& reason) override;
    void Stop() override;
    int64_t HeardPosition() const override;
    bool Finished() const override;

    // Shared by this object and the device thread, which may outlive it.
    struct Session;

private:
    Factory m_make;
    Bounds m_bounds;
    std::shared_ptr<Session> m_session;
    std::thread m_thread;
};

}  // namespace vocalume
