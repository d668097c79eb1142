// The analysis worker: one background thread that keeps the ring analysed
// newest-first and smooths spectra over eleven records, and the process-wide
// analysis state it shares with the user-interface thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "frame_analyser.h"
#include "frame_ring.h"

namespace vocalume {

// Weight of neighbour j (0 = five slots older, 10 = five newer) in the
// smoothing: the first half of a 21-point raised cosine.
inline constexpr double kSmoothingStep = 0.2991993003418851;  // 2π/21

// Writes smoothSpectrum of slot s as the weighted average of the spectra of
// slots s-5 .. s+5, then publishes it with `smoothed`.
void SmoothFrame(FrameRing& ring, int32_t s);

// True when the eleven records around slot s are analysed and none of them
// is the record at the write position: its spectrum may then be smoothed.
bool NeighbourhoodAnalysed(const FrameRing& ring, int32_t s);

// Everything the analysis shares between the user-interface thread and the
// worker: the ring, the undersampling ratio, the stop flag, the level trackers
// and the worker thread itself. The program and the render tool each own one;
// tests make their own. Every operation except the worker's own scan runs on the
// user-interface thread.
//
// Ending: Shutdown (also run by the destructor) ends the worker in order and
// waits for it. Whoever owns the core stops the sound first (no more buffers
// reach the framer), then calls Shutdown, and only then lets go of anything
// the worker may use.
class AnalysisCore {
public:
    AnalysisCore() = default;
    // Runs Shutdown.
    ~AnalysisCore();
    AnalysisCore(const AnalysisCore&) = delete;
    AnalysisCore& operator=(const AnalysisCore&) = delete;

    FrameRing ring;
    std::atomic<int32_t> undersampling{3};
    std::atomic<int32_t> stopWorker{0};
    LevelTrackers trackers;  // worker thread only

    // Clears the stop flag and begins a worker unless one is held or the core
    // was shut down. A worker that was told to end is waited for first, so
    // two never run together.
    void StartWorker();
    // Tells the worker to end and forgets it; it finishes the record in hand
    // and ends within one slot visit, and nothing waits for that here. Only
    // a worker told to end before this one, if it is still ending, is waited
    // for (joined), so that at most one is ever ending.
    void EndWorker();
    // Ends the analysis for good: sets the stop flag, wakes the worker and
    // waits for it, and for one told to end before, to finish; a record in
    // hand is finished first, so this waits at most one frame's analysis.
    // Afterwards no worker runs and none is begun again (StartWorker and
    // SafeReset leave it ended). Safe to call more than once.
    void Shutdown();
    // True while a worker has been begun and not yet told to end.
    bool WorkerHeld() const { return m_running.joinable(); }

    // Resets the ring with no worker inside a record: a held worker is ended
    // and waited for, the ring reset, and a new worker begun.
    void SafeReset(int64_t& frameCounter, int32_t nbins);

    // Wakes an idle worker: the framer calls it once per buffer in which it
    // published frames.
    void WakeWorker();

    // The worker's scan, run on the calling thread until a full walk around
    // the ring finds no work (used where no thread is wanted, e.g. offline
    // rendering). Same order, restarts and undersampling as the thread.
    void ScanUntilIdle(AnalyserState& state);

    // The thread procedure: scans until told to stop, sleeping while a full
    // walk finds no work.
    void AnalysisWorker();

    // Idle waits so far (for diagnostics and tests).
    uint64_t IdleWaits() const { return m_idleWaits.load(std::memory_order_relaxed); }

private:
    // Returns false when the thread should end (stop flag) or, without a
    // thread, when a full walk found no work.
    bool Scan(AnalyserState& state, bool waitWhenIdle);
    void WaitForWork(uint32_t seenEpoch);
    void JoinEnding();

    std::thread m_running;
    std::thread m_ending;
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    std::atomic<uint64_t> m_idleWaits{0};
    bool m_shutDown = false;
};

}  // namespace vocalume
