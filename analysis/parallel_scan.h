// The scan of a ring that no worker thread scans (the whole-file analysis),
// spread over helper threads. After each buffer the framer cut, Scan leaves
// the ring as AnalysisCore::ScanUntilIdle would, bit for bit: the level
// trackers follow the records in the scan's own order (newest first within
// a buffer) on the calling thread, while helpers do the work that depends on
// a frame's own samples alone. They measure frames ahead, from the sound as
// it is heard and before the framer cuts it, and they smooth a buffer's
// spectra while the caller goes on to paint.
//
// Which frames the scan analyses in full (and so which to measure ahead) is
// foreseen from the ring's numbering, the undersampling ratio and the buffer
// size; a frame foreseen wrongly, or not measured in time, is analysed on the
// calling thread as the scan would, and a measure is only taken for a record
// of the very same samples. So the picture never depends on the number of
// threads or on their timing, only the speed does.
//
// Threads: one owner thread makes, calls and destroys a ParallelScan, and is
// the only one to touch the core but for the smoothing handed out: from the
// end of a Scan that cut b new frames until the next Scan or Settle returns,
// a helper writes the smoothed spectra of the records 5 to b + 4 frames
// behind the newest and reads the spectra of those up to b + 9 behind it.
// Meanwhile the owner may cut and scan the next buffer and read the records
// b + 5 and more frames behind the newest (the painter's columns), but for
// the frame number of none nearer. The core must outlive the scan.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "analysis_worker.h"
#include "frame_analyser.h"

namespace vocalume {

// How the framer cuts the sound that is heard: the frame cut from its first
// sample on is `firstIndex`, the next `hop` samples later, and a buffer of
// `samplesPerBuffer` samples is cut at a time.
struct ScanFraming {
    int64_t firstIndex = 0;
    int32_t windowLength = 0;
    int32_t hop = 0;
    int32_t samplesPerBuffer = 0;
};

class ParallelScan {
public:
    // `threads` in all, the owner's included: 1 or less starts no helper and
    // scans with ScanUntilIdle itself. Fewer helpers start where the system
    // will not begin as many threads.
    ParallelScan(AnalysisCore& core, const ScanFraming& framing, int32_t threads);
    // Settles, then ends and waits for the helpers.
    ~ParallelScan();
    ParallelScan(const ParallelScan&) = delete;
    ParallelScan& operator=(const ParallelScan&) = delete;

    // The next `count` samples of the sound the framer will cut, every
    // `stride`-th value from `samples` (2: the left channel of sample pairs).
    void Heard(const int16_t* samples, int32_t count, int32_t stride);

    // Analyses the frames the framer cut since the last call, newest first,
    // and hands the smoothing they allow to a helper. `state` is the owner's.
    // With `smooth` false the smoothing is left out: for frames that will
    // never be shown, whose records are then never smoothed (the records
    // smoothed later are the same, as the smoothing of a record changes
    // nothing but that record).
    void Scan(AnalyserState& state, bool smooth = true);

    // Waits for the smoothing handed out (or does it here if no helper took
    // it yet): the ring is then exactly as ScanUntilIdle leaves it.
    void Settle();

    // Helper threads running.
    int32_t Helpers() const { return static_cast<int32_t>(m_threads.size()); }
    // Records analysed in full from measures taken ahead.
    int64_t MeasuredAhead() const { return m_measuredAhead; }

private:
    struct Job;

    bool ForeseenFull(int64_t frame) const;
    void MakeJobs();
    const FrameMeasures* Ready(Job& job);
    void RetireUpTo(int64_t index);
    // Smooths pieces of the records handed out until none is left; called
    // with m_mutex held, and holds it again on return.
    void SmoothPieces(std::unique_lock<std::mutex>& lock);
    void HelperLoop();

    AnalysisCore& m_core;
    const ScanFraming m_framing;

    // Frames to measure, in frame order: jobs [m_oldestJob, m_jobsMade) of
    // the circular pool are the owner's to read and retire. They are made
    // from the heard sound up to a pool's worth of frames past the newest
    // frame scanned.
    std::unique_ptr<Job[]> m_jobs;
    int64_t m_oldestJob = 0;
    int64_t m_jobsMade = 0;
    // Heard samples not yet looked at for jobs, from stream sample
    // m_heardStart.
    std::vector<int16_t> m_heard;
    int64_t m_heardStart = 0;
    int64_t m_nextFrame = 0;  // counted from the first heard sample

    // The last Scan left the ring as ScanUntilIdle would, up to frame
    // m_lastNewest.
    bool m_primed = false;
    int64_t m_lastNewest = 0;
    std::vector<Job*> m_batch;
    int64_t m_measuredAhead = 0;

    std::mutex m_mutex;
    std::condition_variable m_wake;     // helpers: work or stop
    std::condition_variable m_settled;  // owner: smoothing done
    // Guarded by m_mutex:
    int64_t m_published = 0;  // jobs a helper may take
    int64_t m_nextJob = 0;    // the next job a helper looks at
    // The records handed out for smoothing, taken a piece at a time from
    // m_smoothNext on by whoever is free (the owner too, when it settles)
    // while m_smoothOpen; m_smoothers are at work on pieces.
    std::vector<int32_t> m_smoothSlots;
    std::atomic<size_t> m_smoothNext{0};
    bool m_smoothOpen = false;
    int32_t m_smoothers = 0;
    bool m_stop = false;

    std::vector<std::thread> m_threads;
};

}  // namespace vocalume
