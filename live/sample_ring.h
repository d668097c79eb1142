// A fixed ring of 16-bit samples between exactly one writer thread (a sound
// device's real-time callback) and exactly one reader thread. Neither side
// allocates, locks or waits: the writer drops what does not fit, whole, and
// counts it. The storage is made once, before either thread starts.
//
// Threads: Write and Dropped on the writer, Read and Available on the reader;
// the constructor before both. Each position is written by one side only and
// published with release, read by the other with acquire.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace vocalume {

class SampleRing {
public:
    // Room for at least `capacity` samples (rounded up to a power of two).
    explicit SampleRing(size_t capacity) : m_size(RoundUp(capacity)), m_data(new int16_t[m_size]) {}
    SampleRing(const SampleRing&) = delete;
    SampleRing& operator=(const SampleRing&) = delete;

    size_t Capacity() const { return m_size; }

    // Appends all `count` samples, or none when they do not all fit (a frame
    // of several channels is never split); false when they were dropped.
    bool Write(const int16_t* samples, size_t count)
    {
        const size_t head = m_head.load(std::memory_order_relaxed);
        const size_t tail = m_tail.load(std::memory_order_acquire);
        if (count > m_size - (head - tail)) {
            m_dropped.fetch_add(count, std::memory_order_relaxed);
            return false;
        }
        for (size_t i = 0; i < count; ++i)
            m_data[(head + i) & (m_size - 1)] = samples[i];
        m_head.store(head + count, std::memory_order_release);
        return true;
    }

    // Samples written and not yet read.
    size_t Available() const
    {
        return m_head.load(std::memory_order_acquire) - m_tail.load(std::memory_order_relaxed);
    }

    // Moves up to `count` of the oldest samples to `out`; returns how many.
    size_t Read(int16_t* out, size_t count)
    {
        const size_t tail = m_tail.load(std::memory_order_relaxed);
        const size_t head = m_head.load(std::memory_order_acquire);
        if (count > head - tail)
            count = head - tail;
        for (size_t i = 0; i < count; ++i)
            out[i] = m_data[(tail + i) & (m_size - 1)];
        m_tail.store(tail + count, std::memory_order_release);
        return count;
    }

    // Samples the writer had to drop so far.
    uint64_t Dropped() const { return m_dropped.load(std::memory_order_relaxed); }

private:
    static size_t RoundUp(size_t n)
    {
        size_t size = 1;
        while (size < n)
            size <<= 1;
        return size;
    }

    const size_t m_size;
    std::unique_ptr<int16_t[]> m_data;
    // Counts of samples ever written and read; they only grow, so their
    // difference is what the ring holds, even when they wrap round.
    std::atomic<size_t> m_head{0};
    std::atomic<size_t> m_tail{0};
    std::atomic<uint64_t> m_dropped{0};
};

}  // namespace vocalume
