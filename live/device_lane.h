// The one lane into the sound libraries. Every attempt at a sound device (a
// recording's input, a playback's output) runs on a device thread of its
// own, and these threads take turns: only one at a time opens or closes a
// device, in the order the attempts were made. Two libraries starting up on
// two threads at once (a frozen sound server that answers again after its
// client library has waited half a minute, while a second attempt made
// meanwhile starts up too) crash the program.
//
// An attempt its caller has given up (it did not answer in time, or was not
// wanted any more) never starts on a library: while it waits for its turn it
// leaves at once, and one that was inside a library when it was given up
// goes on to no other library (see DeviceAttempt::GivenUp). Only closing what
// it has opened still takes its turn.
//
// Threads: any. The lane is the process's; an attempt is shared by the
// caller that gives it up and the device thread that makes it.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>

namespace vocalume {

class DeviceAttempt {
public:
    // True once the caller gave the attempt up: it opens nothing more.
    bool GivenUp() const { return m_givenUp.load(std::memory_order_acquire); }
    // The caller no longer waits for this attempt. Wakes it if it waits for
    // its turn.
    void GiveUp();

private:
    std::atomic<bool> m_givenUp{false};
};

// A new attempt, counted among the device threads alive until its thread
// calls EndDeviceAttempt (or, without a thread, the caller does).
std::shared_ptr<DeviceAttempt> BeginDeviceAttempt();
// The attempt's device thread ends.
void EndDeviceAttempt(DeviceAttempt& attempt);

// The attempt's turn in the lane, taken for its lifetime: Held() tells
// whether it was given. Without `evenIfGivenUp`, an attempt given up while
// it waits (or before) is not given the turn; with it (to close what the
// attempt opened), the turn is waited for in any case.
class DeviceTurn {
public:
    explicit DeviceTurn(DeviceAttempt& attempt, bool evenIfGivenUp = false);
    // Waits at most `patience` (for the user-interface thread, which asks
    // the sound system for its list of inputs).
    DeviceTurn(DeviceAttempt& attempt, std::chrono::milliseconds patience);
    ~DeviceTurn() { Release(); }
    DeviceTurn(const DeviceTurn&) = delete;
    DeviceTurn& operator=(const DeviceTurn&) = delete;

    bool Held() const { return m_held; }
    void Release();

private:
    void Take(DeviceAttempt& attempt, bool evenIfGivenUp, std::chrono::steady_clock::time_point until);

    bool m_held = false;
};

// Waits up to `bound` for every device thread of the process to end; true
// when none is left. For the program's exit: a thread still inside a sound
// library that does not answer must not meet the library's or the program's
// objects being torn down.
bool WaitForDeviceThreads(std::chrono::milliseconds bound);

// Device threads alive now (for tests and diagnostics).
int DeviceThreadsAlive();

}  // namespace vocalume
