// Sound output that never holds up the user-interface thread: the device is
// opened, fed, drained and closed on a device thread of its own, which takes
// its turn in the device lane (device_lane.h) to open and to close. Play
// and Stop return at once. A device that does not open within a bound, or
// takes no more sound for a while once it plays (a frozen sound server), is
// given up, and Finished and Problem say so; its thread ends whenever the
// device lets it, opening nothing more and holding the samples until then.
// The position heard is published by the device thread after every block
// and carried forward by the clock in between, so that a line following it
// moves smoothly.
//
// Threads: the SoundOutput operations run on the user-interface thread; the
// device thread only writes what it publishes, under a short lock.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "device_lane.h"
#include "playback_device.h"
#include "sound_output.h"

namespace vocalume {

class GuardedSoundOutput final : public SoundOutput {
public:
    struct Bounds {
        // Longest wait for a device to open.
        std::chrono::milliseconds open{2000};
        // A playing device that takes no sound for this long has stopped
        // answering.
        std::chrono::milliseconds stall{2000};
    };
    // Makes a fresh device for every Play, on the device thread; it may ask
    // `attempt` whether it has been given up meanwhile.
    using Factory = std::function<std::unique_ptr<PlaybackDevice>(const DeviceAttempt& attempt)>;

    explicit GuardedSoundOutput(Factory make);
    GuardedSoundOutput(Factory make, Bounds bounds);
    ~GuardedSoundOutput() override;
    GuardedSoundOutput(const GuardedSoundOutput&) = delete;
    GuardedSoundOutput& operator=(const GuardedSoundOutput&) = delete;

    // Returns at once: true unless there is nothing to play from `from`;
    // whether the device opened is known later (Finished, Problem).
    bool Play(SoundChunks samples, int64_t from, std::string& reason) override;
    void Stop() override;
    int64_t HeardPosition() const override;
    bool Finished() const override;
    std::string Problem() const override;

    // Shared by this object and the device thread, which may outlive it.
    struct Session;

private:
    Factory m_make;
    Bounds m_bounds;
    std::shared_ptr<Session> m_session;
    std::thread m_thread;
    std::string m_problem;  // of the last playing, once it is stopped
};

}  // namespace vocalume
