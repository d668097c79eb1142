#include "analysis_worker.h"

#include <algorithm>
#include <cmath>
#include <memory>

#if defined(__linux__)
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace vocalume {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr auto kAcquire = std::memory_order_acquire;
constexpr auto kRelease = std::memory_order_release;

// Below-normal priority keeps the user interface responsive while the worker
// works off a backlog. Best effort: where the system refuses, it runs as is.
void LowerThisThreadsPriority()
{
#if defined(__linux__)
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 5);
#endif
}

// The eleven weights and their sum, added up in the order the smoothing
// uses them; worked out once, with the very calls the smoothing made for
// every record before.
struct SmoothingWeights {
    double w[11];
    double sum = 0.0;
    SmoothingWeights()
    {
        for (int32_t j = 0; j <= 10; ++j) {
            w[j] = 0.5 - 0.5 * std::cos(j * kSmoothingStep);
            sum += w[j];
        }
    }
};

}  // namespace

bool NeighbourhoodAnalysed(const FrameRing& ring, int32_t s)
{
    // Every window that reaches across the seam between the newest and the
    // oldest record holds the record at the write position, which never
    // counts as analysed (see FrameRing::IsAnalysedNeighbour). Read once,
    // before the flags.
    const int32_t w = ring.WritePosition();
    if ((w - s + 5 + kRingSize) % kRingSize <= 10)
        return false;
    for (int32_t j = 0; j <= 10; ++j)
        if (ring[(s + kRingSize - 5 + j) % kRingSize].analysed.load(kAcquire) == 0)
            return false;
    return true;
}

void SmoothFrame(FrameRing& ring, int32_t s)
{
    static const SmoothingWeights weights;
    FrameRecord& r = ring[s];
    const int32_t d = FiveBefore(s);
    const int32_t n = r.nbins;
    float* out = r.smoothSpectrum;
    for (int32_t k = 0; k < n; ++k)
        out[k] = 0.0f;
    for (int32_t j = 0; j <= 10; ++j) {
        const double w = weights.w[j];
        const float* in = ring[(d + j) % kRingSize].spectrum;
        for (int32_t k = 0; k < n; ++k)
            out[k] = static_cast<float>(out[k] + w * in[k]);
    }
    for (int32_t k = 0; k < n; ++k)
        out[k] = static_cast<float>(out[k] / weights.sum);
    r.smoothed.store(1, kRelease);
}

AnalysisCore::~AnalysisCore() { Shutdown(); }

void AnalysisCore::Shutdown()
{
    m_shutDown = true;
    EndWorker();
    JoinEnding();
}

void AnalysisCore::JoinEnding()
{
    if (m_ending.joinable())
        m_ending.join();
}

void AnalysisCore::StartWorker()
{
    JoinEnding();
    if (m_shutDown)
        return;
    stopWorker.store(0, kRelaxed);
    if (!m_running.joinable())
        m_running = std::thread([this] {
            LowerThisThreadsPriority();
            AnalysisWorker();
        });
}

void AnalysisCore::EndWorker()
{
    stopWorker.store(1, kRelaxed);
    WakeWorker();
    if (m_running.joinable()) {
        JoinEnding();
        m_ending = std::move(m_running);
    }
}

void AnalysisCore::SafeReset(int64_t& frameCounter, int32_t nbins)
{
    const bool wasHeld = WorkerHeld();
    const int32_t stopBefore = stopWorker.load(kRelaxed);
    EndWorker();
    JoinEnding();
    ring.Reset(frameCounter, nbins);
    stopWorker.store(stopBefore, kRelaxed);
    if (wasHeld)
        StartWorker();
}

void AnalysisCore::WakeWorker()
{
    {
        std::lock_guard<std::mutex> lock(m_wakeMutex);
        ring.WorkEpoch().fetch_add(1, kRelease);
    }
    m_wake.notify_all();
}

void AnalysisCore::WaitForWork(uint32_t seenEpoch)
{
    m_idleWaits.fetch_add(1, kRelaxed);
    std::unique_lock<std::mutex> lock(m_wakeMutex);
    m_wake.wait(lock, [&] {
        return ring.WorkEpoch().load(kAcquire) != seenEpoch || stopWorker.load(kRelaxed) != 0;
    });
}

namespace {

// The index of the newest record, the one before the write position `w`.
// The framer numbers a record before it moves the write position past it.
int64_t NewestIndex(const FrameRing& ring, int32_t w) { return ring[PrevSlot(w)].index; }

}  // namespace

bool AnalysisCore::Scan(AnalyserState& state, bool waitWhenIdle)
{
    int32_t s = ring.WritePosition();
    int32_t idleVisits = 0;
    uint32_t epoch = ring.WorkEpoch().load(kAcquire);
    // How many idle visits in a row end a walk. A first walk goes all round
    // the ring. Once a whole walk has found nothing, only frames cut since
    // can need work, and the few before them that they let be smoothed: the
    // next walks end behind those instead of going round 5000 records (with
    // short capture buffers that walk comes 125 times a second). Nothing
    // resets the ring while a scan runs.
    bool clean = false;
    int64_t cleanNewest = 0;   // the newest frame when a whole walk found nothing
    int64_t walkNewest = NewestIndex(ring, s);  // the newest frame when this walk began
    // A walk visits the newest record first, then older ones; it reaches 11
    // records (a smoothing neighbourhood) behind the newest frame of the last
    // clean walk.
    const auto walkLength = [&] {
        walkNewest = NewestIndex(ring, s);
        if (!clean)
            return kRingSize;
        // Frames not numbered in order (never from the framer) get the
        // whole walk.
        const int64_t length = walkNewest - cleanNewest + 12;
        return length < 12 || length > kRingSize ? kRingSize : static_cast<int32_t>(length);
    };
    int32_t idleLimit = kRingSize;
    while (stopWorker.load(kRelaxed) == 0) {
        FrameRecord& r = ring[s];
        bool worked = false;
        if (r.fresh.load(kAcquire) == 1) {
            AnalyseFrame(ring, trackers, state, undersampling.load(kRelaxed), s);
            worked = true;
        } else if (r.analysed.load(kAcquire) == 1 && r.smoothed.load(kAcquire) == 0 &&
                   NeighbourhoodAnalysed(ring, s)) {
            SmoothFrame(ring, s);
            worked = true;
        }
        if (worked) {
            idleVisits = 0;
            epoch = ring.WorkEpoch().load(kAcquire);
            s = ring.WritePosition();
            idleLimit = walkLength();
        } else if (++idleVisits >= idleLimit) {
            // A full walk found nothing to do: sleep until frames arrive, the
            // ring is reset or the worker is told to end, then start again
            // from the newest record.
            if (!waitWhenIdle)
                return false;
            clean = true;
            cleanNewest = walkNewest;
            WaitForWork(epoch);
            idleVisits = 0;
            epoch = ring.WorkEpoch().load(kAcquire);
            s = ring.WritePosition();
            idleLimit = walkLength();
        }
        s = PrevSlot(s);
    }
    return false;
}

void AnalysisCore::ScanUntilIdle(AnalyserState& state)
{
    const int32_t stopBefore = stopWorker.exchange(0, kRelaxed);
    Scan(state, false);
    stopWorker.store(stopBefore, kRelaxed);
}

void AnalysisCore::AnalysisWorker()
{
    // The analysis state of one run lives on this thread; nothing is
    // allocated per frame.
    auto state = std::make_unique<AnalyserState>();
    Scan(*state, true);
}

}  // namespace vocalume
