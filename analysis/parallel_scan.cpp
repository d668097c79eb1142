#include "parallel_scan.h"

#include <algorithm>
#include <system_error>

namespace vocalume {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr auto kAcquire = std::memory_order_acquire;
constexpr auto kRelease = std::memory_order_release;

// Frames measured ahead at most, counted from the newest frame scanned: a
// few buffers' worth at every refresh rate.
constexpr int64_t kJobCount = 1024;

// More new frames than this at once is not what a buffer cuts: the scan
// leaves such a ring to ScanUntilIdle.
constexpr int32_t kMostFreshFrames = kRingSize / 4;

// Records smoothed at a time by one thread.
constexpr size_t kSmoothPiece = 8;

// A job's life: the owner queues it, a helper takes and measures it (or the
// owner withdraws it while still queued), the owner retires it.
constexpr int32_t kFree = 0;
constexpr int32_t kQueued = 1;
constexpr int32_t kTaken = 2;
constexpr int32_t kDone = 3;

}  // namespace

struct ParallelScan::Job {
    FrameMeasures measures;
    int64_t index = 0;
    std::atomic<int32_t> state{kFree};
};

ParallelScan::ParallelScan(AnalysisCore& core, const ScanFraming& framing, int32_t threads)
    : m_core(core), m_framing(framing), m_lastNewest(framing.firstIndex - 1)
{
    if (threads <= 1)
        return;
    m_jobs = std::make_unique<Job[]>(static_cast<size_t>(kJobCount));
    m_heard.reserve(static_cast<size_t>(4 * std::max(framing.samplesPerBuffer, framing.windowLength)));
    for (int32_t i = 1; i < threads; ++i) {
        try {
            m_threads.emplace_back([this] { HelperLoop(); });
        } catch (const std::system_error&) {
            break;
        }
    }
}

ParallelScan::~ParallelScan()
{
    Settle();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

bool ParallelScan::ForeseenFull(int64_t frame) const
{
    const int32_t slot = static_cast<int32_t>((m_framing.firstIndex + frame) % kRingSize);
    const int32_t ratio = m_core.undersampling.load(kRelaxed);
    if (ratio <= 1 || slot >= kFirstAlwaysFullSlot || slot % ratio == 0)
        return true;
    // The newest frame a buffer cuts has no analysed newer neighbour to copy.
    const int64_t hop = m_framing.hop;
    const int64_t length = m_framing.windowLength;
    const int64_t perBuffer = std::max(m_framing.samplesPerBuffer, 1);
    const int64_t buffers = (frame * hop + length + perBuffer - 1) / perBuffer;
    return (buffers * perBuffer - length) / hop == frame;
}

void ParallelScan::Heard(const int16_t* samples, int32_t count, int32_t stride)
{
    if (m_threads.empty() || count <= 0)
        return;
    const size_t had = m_heard.size();
    m_heard.resize(had + static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        m_heard[had + static_cast<size_t>(i)] = samples[static_cast<size_t>(i) * static_cast<size_t>(stride)];
    MakeJobs();
}

void ParallelScan::MakeJobs()
{
    const int32_t length = m_framing.windowLength;
    const int64_t hop = m_framing.hop;
    const int64_t end = m_heardStart + static_cast<int64_t>(m_heard.size());
    // Far enough ahead to keep the helpers busy while the owner paints, no
    // further: the pool holds every job up to there.
    const int64_t horizon = m_lastNewest - m_framing.firstIndex + kJobCount;
    const int64_t madeBefore = m_jobsMade;
    for (; m_nextFrame <= horizon && m_nextFrame * hop + length <= end; ++m_nextFrame) {
        if (!ForeseenFull(m_nextFrame))
            continue;
        if (m_jobsMade - m_oldestJob >= kJobCount)
            break;
        Job& job = m_jobs[static_cast<size_t>(m_jobsMade % kJobCount)];
        const int16_t* from = m_heard.data() + (m_nextFrame * hop - m_heardStart);
        std::copy(from, from + length, job.measures.record.samples);
        job.measures.record.nsamples = length;
        job.index = m_framing.firstIndex + m_nextFrame;
        job.state.store(kQueued, kRelease);
        ++m_jobsMade;
    }
    // Samples before the next frame are no longer needed; they go once they
    // are half of what is kept, so that little is moved.
    const int64_t used = std::min<int64_t>(m_nextFrame * hop - m_heardStart, static_cast<int64_t>(m_heard.size()));
    if (used > 0 && 2 * used >= static_cast<int64_t>(m_heard.size())) {
        m_heard.erase(m_heard.begin(), m_heard.begin() + used);
        m_heardStart += used;
    }
    if (m_jobsMade != madeBefore) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_published = m_jobsMade;
        }
        m_wake.notify_all();
    }
}

const FrameMeasures* ParallelScan::Ready(Job& job)
{
    int32_t state = kQueued;
    // Not taken yet: the owner measures the frame in its scan instead.
    if (job.state.compare_exchange_strong(state, kFree, kAcquire, kAcquire))
        return nullptr;
    while (state == kTaken) {
        std::this_thread::yield();
        state = job.state.load(kAcquire);
    }
    return state == kDone ? &job.measures : nullptr;
}

void ParallelScan::RetireUpTo(int64_t index)
{
    for (; m_oldestJob < m_jobsMade; ++m_oldestJob) {
        Job& job = m_jobs[static_cast<size_t>(m_oldestJob % kJobCount)];
        if (job.index > index)
            break;
        int32_t state = kQueued;
        if (!job.state.compare_exchange_strong(state, kFree, kAcquire, kAcquire)) {
            while (state == kTaken) {
                std::this_thread::yield();
                state = job.state.load(kAcquire);
            }
            job.state.store(kFree, kRelaxed);
        }
    }
}

void ParallelScan::Scan(AnalyserState& state, bool smooth)
{
    if (m_threads.empty()) {
        m_core.ScanUntilIdle(state);
        return;
    }
    FrameRing& ring = m_core.ring;
    const int32_t w = ring.WritePosition();
    int32_t fresh = 0;
    for (int32_t s = PrevSlot(w); fresh < kRingSize && ring[s].fresh.load(kAcquire) == 1; s = PrevSlot(s))
        ++fresh;
    const int32_t oldestFresh = (w - fresh + kRingSize) % kRingSize;
    // Anything but one block of new frames below the write position, after
    // the frames the last scan saw, is scanned as ScanUntilIdle scans.
    if (fresh > kMostFreshFrames || (m_primed && fresh > 0 && ring[oldestFresh].index != m_lastNewest + 1)) {
        Settle();
        m_core.ScanUntilIdle(state);
        m_primed = true;
        m_lastNewest = ring[PrevSlot(ring.WritePosition())].index;
        RetireUpTo(m_lastNewest);
        MakeJobs();
        return;
    }
    if (fresh == 0 && m_primed)
        return;

    const int64_t newest = ring[PrevSlot(w)].index;
    const int64_t oldest = newest - fresh + 1;
    m_batch.assign(static_cast<size_t>(fresh), nullptr);
    for (int64_t j = m_oldestJob; j < m_jobsMade; ++j) {
        Job& job = m_jobs[static_cast<size_t>(j % kJobCount)];
        if (job.index > newest)
            break;
        if (job.index >= oldest)
            m_batch[static_cast<size_t>(job.index - oldest)] = &job;
    }
    // Newest first, as the worker's scan: a frame that copies its newer
    // neighbour finds it analysed, and the trackers see the same order.
    int32_t s = PrevSlot(w);
    for (int32_t k = 0; k < fresh; ++k, s = PrevSlot(s)) {
        Job* job = m_batch[static_cast<size_t>(fresh - 1 - k)];
        const FrameMeasures* measured = job != nullptr ? Ready(*job) : nullptr;
        if (measured != nullptr)
            ++m_measuredAhead;
        AnalyseFrame(ring, m_core.trackers, state, m_core.undersampling.load(kRelaxed), s, measured);
    }
    RetireUpTo(newest);
    m_lastNewest = newest;
    MakeJobs();

    // Smoothing: every record whose eleven neighbours are analysed now, in
    // any order, as the worker's scan ends with them all smoothed. After a
    // settled scan those are the records 5 to fresh + 4 behind the newest
    // (all others were smoothed before, or wait for newer neighbours); the
    // first scan after a reset looks through the whole ring.
    Settle();
    const bool wholeRing = !m_primed;
    m_primed = true;
    if (!smooth)
        return;
    const int32_t farthest = wholeRing ? kRingSize - 1 : fresh + 4;
    std::vector<int32_t> slots;
    slots.reserve(static_cast<size_t>(farthest));
    for (int32_t k = farthest; k >= 0; --k) {
        const int32_t slot = (w - 1 - k + 2 * kRingSize) % kRingSize;
        const FrameRecord& r = ring[slot];
        if (r.analysed.load(kAcquire) == 1 && r.smoothed.load(kAcquire) == 0 && NeighbourhoodAnalysed(ring, slot))
            slots.push_back(slot);
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_smoothSlots.swap(slots);
        m_smoothNext.store(0, kRelaxed);
        m_smoothOpen = !m_smoothSlots.empty();
    }
    // Records all round the ring are no helper's to smooth while the owner
    // paints and cuts: those are smoothed before Scan returns.
    if (wholeRing)
        Settle();
    else
        m_wake.notify_all();
}

void ParallelScan::SmoothPieces(std::unique_lock<std::mutex>& lock)
{
    ++m_smoothers;
    lock.unlock();
    const size_t count = m_smoothSlots.size();
    for (;;) {
        const size_t first = m_smoothNext.fetch_add(kSmoothPiece, kRelaxed);
        if (first >= count)
            break;
        for (size_t i = first; i < std::min(count, first + kSmoothPiece); ++i)
            SmoothFrame(m_core.ring, m_smoothSlots[i]);
    }
    lock.lock();
    m_smoothOpen = false;
    if (--m_smoothers == 0)
        m_settled.notify_all();
}

void ParallelScan::Settle()
{
    if (m_threads.empty())
        return;
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_smoothOpen)
        SmoothPieces(lock);
    m_settled.wait(lock, [this] { return m_smoothers == 0; });
}

void ParallelScan::HelperLoop()
{
    auto state = std::make_unique<AnalyserState>();
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || m_smoothOpen || m_nextJob < m_published; });
        if (m_stop)
            return;
        // Smoothing first: the owner's next paint waits for it.
        if (m_smoothOpen) {
            SmoothPieces(lock);
            continue;
        }
        Job& job = m_jobs[static_cast<size_t>(m_nextJob % kJobCount)];
        ++m_nextJob;
        lock.unlock();
        int32_t queued = kQueued;
        if (job.state.compare_exchange_strong(queued, kTaken, kAcquire, kRelaxed)) {
            MeasureFrame(job.measures, *state);
            job.state.store(kDone, kRelease);
        }
        lock.lock();
    }
}

}  // namespace vocalume
