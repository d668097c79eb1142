// A WaveInHost for tools and tests: notices are counted and taken in order on
// the thread that runs the framer, messages are collected (and optionally
// echoed to stderr). Posting from a source thread never allocates; it takes
// a short lock to wake a taker that waits, so it is not for a device's
// real-time callback (live sources deliver from a reader thread of their own).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "wave_in.h"

namespace vocalume {

class QueueWaveInHost : public WaveInHost {
public:
    enum class Notice { None, BufferDone, EndOfStream };

    explicit QueueWaveInHost(bool echoMessages = false) : m_echo(echoMessages) {}

    void PostBufferDone() override;
    void PostEndOfStream() override;
    void ShowMessage(const std::string& text) override;
    // A lost device, or one that failed to open after Open returned: kept
    // for DeviceNews (posted on a sound thread).
    void PostDeviceLost(const std::string& reason) override;
    void PostOpenFailed(const std::string& message) override;

    // Takes the oldest notice not yet taken, without waiting.
    Notice Take();
    // Takes the oldest notice, waiting up to `timeout` for one to arrive.
    Notice WaitAndTake(std::chrono::milliseconds timeout);

    const std::vector<std::string>& Messages() const { return m_messages; }
    // What the device posted of a lost device or a failed open, in order.
    std::vector<std::string> DeviceNews();
    uint64_t BuffersPosted() const { return m_buffersPosted.load(std::memory_order_acquire); }

private:
    std::atomic<uint64_t> m_buffersPosted{0};
    std::atomic<uint64_t> m_endsPosted{0};
    uint64_t m_buffersTaken = 0;
    uint64_t m_endsTaken = 0;
    std::mutex m_mutex;  // held only to post or to wait, never while working
    std::condition_variable m_arrived;
    std::vector<std::string> m_messages;
    std::vector<std::string> m_news;  // under m_mutex
    bool m_echo;
};

}  // namespace vocalume
