#include "pitch_follower.h"

#include <system_error>
#include <utility>

namespace vocalume {
namespace {

// Samples handed over at a time: a few buffers' worth, so that the thread
// wakes a few times for each second of sound.
constexpr size_t kChunkSamples = 4096;

}  // namespace

PitchFollower::PitchFollower(bool ownThread) : m_tracker(PitchTracker::Sums::Running, PitchTracker::Reach::WholeSound)
{
    m_chunk.reserve(kChunkSamples);
    if (!ownThread)
        return;
    try {
        m_thread = std::thread([this] { Follow(); });
    } catch (const std::system_error&) {
    }
}

PitchFollower::~PitchFollower()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void PitchFollower::Hear(const int16_t* samples, int32_t count, int32_t stride)
{
    for (int32_t i = 0; i < count; ++i) {
        m_chunk.push_back(samples[static_cast<size_t>(i) * static_cast<size_t>(stride)]);
        if (m_chunk.size() == kChunkSamples)
            Hand(m_chunk);
    }
}

void PitchFollower::Hand(std::vector<int16_t>& chunk)
{
    if (!m_thread.joinable()) {
        m_tracker.Push(chunk.data(), chunk.size(), m_estimates);
        chunk.clear();
        return;
    }
    std::vector<int16_t> next;
    next.reserve(kChunkSamples);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(std::move(chunk));
    }
    m_wake.notify_one();
    chunk = std::move(next);
}

std::vector<PitchEstimate> PitchFollower::Finish(int64_t frames)
{
    if (!m_chunk.empty())
        Hand(m_chunk);
    if (m_thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_ended = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    m_tracker.Finish(frames, m_estimates);
    m_estimates.resize(static_cast<size_t>(frames));
    return std::move(m_estimates);
}

void PitchFollower::Follow()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || m_ended || !m_queue.empty(); });
        if (m_stop || m_queue.empty())
            return;
        std::vector<int16_t> chunk = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        m_tracker.Push(chunk.data(), chunk.size(), m_estimates);
        lock.lock();
    }
}

}  // namespace vocalume
