// A pitch tracker that follows a sound on a thread of its own: the sound is
// handed over as it comes and the estimates are taken at its end, so the
// tracker reads it as a whole sound (each voiced stretch's octave chosen on
// all of it), not with the live line's short look-ahead. The
// tracker's results do not depend on how its sound was divided up, so they
// are the same as those of a tracker fed on the caller's thread.
//
// Threads: one owner thread calls everything; the follower's own thread
// touches only the tracker and the sound handed to it (a queue under a
// mutex). The owner may give up before Finish: the destructor ends the
// thread, dropping what it had not tracked.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "pitch_tracker.h"

namespace vocalume {

class PitchFollower {
public:
    // `ownThread` false, or a system that begins no more threads: the
    // tracker runs in Hear, on the owner's thread.
    explicit PitchFollower(bool ownThread);
    ~PitchFollower();
    PitchFollower(const PitchFollower&) = delete;
    PitchFollower& operator=(const PitchFollower&) = delete;

    // The next `count` samples of the sound, every `stride`-th value from
    // `samples` (2: the left channel of sample pairs).
    void Hear(const int16_t* samples, int32_t count, int32_t stride);

    // Ends the sound, waits for the tracker and returns one estimate for each
    // of `frames` frames (frames past the sound's end hear silence). Once.
    std::vector<PitchEstimate> Finish(int64_t frames);

private:
    void Hand(std::vector<int16_t>& chunk);
    void Follow();

    PitchTracker m_tracker;
    std::vector<PitchEstimate> m_estimates;
    std::vector<int16_t> m_chunk;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    // Guarded by m_mutex:
    std::deque<std::vector<int16_t>> m_queue;
    bool m_ended = false;
    bool m_stop = false;

    std::thread m_thread;
};

}  // namespace vocalume
