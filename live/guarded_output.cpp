#include "guarded_output.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <utility>

namespace vocalume {
namespace {

// The device thread hands over 20 ms at a time and publishes the position
// after each block: the line never strays further than that from the sound.
constexpr int32_t kBlockSamples = kPlaybackRate / 50;
// The clock carries the position forward between measurements only once the
// device has been seen to play (before that it may still be waking up), and
// only this far, so that a device that stalls holds the line nearly at once.
constexpr double kLongestCarry = 0.1;

}  // namespace

// One Play to Stop. The device thread runs open, write, drain (or discard),
// close; the user-interface thread reads what it publishes and keeps the
// bounds.
struct GuardedSoundOutput::Session {
    enum class Opening { Pending, Opened, Failed };
    using Clock = std::chrono::steady_clock;

    mutable std::mutex mutex;
    Opening opening = Opening::Pending;
    std::string problem;
    bool stopWanted = false;
    bool finished = false;  // the device thread has closed the device
    bool ended = false;     // everything was heard, or playing failed or was stopped
    Clock::time_point started = Clock::now();
    // The position heard at `stamp`, and everything handed over by then.
    int64_t from = 0;
    int64_t heard = 0;
    int64_t written = 0;
    Clock::time_point stamp{};
    // The last position told, so that the line never steps back when a new
    // measurement falls short of the clock's estimate.
    int64_t told = 0;
    bool moving = false;
    std::shared_ptr<DeviceAttempt> attempt = BeginDeviceAttempt();

    bool StopWanted()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return stopWanted;
    }

    void Publish(int64_t written_, int64_t heard_, bool all = false)
    {
        std::lock_guard<std::mutex> lock(mutex);
        ended = ended || all;
        written = written_;
        // More than rounding: the device plays.
        moving = moving || heard_ > from + kBlockSamples / 2;
        heard = std::clamp(heard_, heard, written_);
        stamp = Clock::now();
    }

    // With the lock held: playing ends for `why`, unless it ended already.
    void Fail(const std::string& why)
    {
        if (!ended && problem.empty())
            problem = why;
        ended = true;
    }

    // The device thread.
    void Run(const Factory& make, const SoundChunks& samples)
    {
        std::unique_ptr<PlaybackDevice> device;
        std::string reason;
        bool opened = false;
        DeviceTurn turn(*attempt);
        if (turn.Held()) {
            device = make(*attempt);
            opened = device && device->Open(kPlaybackRate, reason);
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            opening = opened ? Opening::Opened : Opening::Failed;
            stamp = Clock::now();
            if (!opened)
                Fail(reason.empty() ? "no sound output device was found" : reason);
        }
        bool lost = false;
        if (opened && !StopWanted()) {
            turn.Release();
            const int64_t end = samples.Size();
            int64_t position = from;
            while (position < end && !StopWanted()) {
                // A block, or the rest of the chunk it begins in.
                const std::span<const int16_t> block = samples.Run(position, kBlockSamples);
                const auto count = static_cast<int32_t>(block.size());
                if (!device->Write(block.data(), count)) {
                    lost = true;
                    break;
                }
                position += count;
                // A device that cannot tell yet has not been heard to play.
                const int64_t pending = device->Pending();
                Publish(position, pending >= 0 ? position - pending : heard);
            }
            if (lost || StopWanted()) {
                device->Discard();
            } else {
                device->Drain();
                Publish(position, position, true);
            }
        }
        if (opened) {
            std::optional<DeviceTurn> closing;
            if (!turn.Held())
                closing.emplace(*attempt, true);
            device->Close();
            device.reset();
        }
        device.reset();
        turn.Release();
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (lost)
                Fail("the sound output went away");
            ended = true;
            finished = true;
        }
        EndDeviceAttempt(*attempt);
    }

    // On the user-interface thread: a device that does not open in time, or
    // stalls once it plays, is given up.
    void KeepBounds(const Bounds& bounds)
    {
        bool givenUp = false;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (ended)
                return;
            const auto now = Clock::now();
            if (opening == Opening::Pending && now - started > bounds.open) {
                Fail("the sound output did not answer");
                givenUp = true;
            } else if (opening == Opening::Opened && now - stamp > bounds.stall) {
                Fail("the sound output stopped answering");
                givenUp = true;
            }
        }
        if (givenUp)
            attempt->GiveUp();
    }
};

GuardedSoundOutput::GuardedSoundOutput(Factory make) : GuardedSoundOutput(std::move(make), Bounds{}) {}

GuardedSoundOutput::GuardedSoundOutput(Factory make, Bounds bounds) : m_make(std::move(make)), m_bounds(bounds)
{
}

GuardedSoundOutput::~GuardedSoundOutput() { Stop(); }

bool GuardedSoundOutput::Play(SoundChunks samples, int64_t from, std::string& reason)
{
    Stop();
    m_problem.clear();
    if (from < 0 || from >= samples.Size()) {
        reason = "there is no sound to play there";
        return false;
    }
    auto session = std::make_shared<Session>();
    session->from = session->heard = session->written = session->told = from;
    session->stamp = Session::Clock::now();
    m_session = session;
    m_thread = std::thread([session, make = m_make, samples] { session->Run(make, samples); });
    return true;
}

void GuardedSoundOutput::Stop()
{
    if (!m_session)
        return;
    bool finished;
    {
        std::lock_guard<std::mutex> lock(m_session->mutex);
        m_session->stopWanted = true;
        // Whatever the device still does, nothing more counts as heard.
        m_session->ended = true;
        m_problem = m_session->problem;
        finished = m_session->finished;
    }
    // A device still busy (opening, discarding, closing) keeps its thread,
    // which ends once the device lets it; the session and the samples it
    // shares live as long as that thread. Nobody waits for it here.
    m_session->attempt->GiveUp();
    if (finished)
        m_thread.join();
    else
        m_thread.detach();
    m_session.reset();
}

int64_t GuardedSoundOutput::HeardPosition() const
{
    if (!m_session)
        return 0;
    m_session->KeepBounds(m_bounds);
    std::lock_guard<std::mutex> lock(m_session->mutex);
    Session& s = *m_session;
    if (s.ended || !s.moving)
        return s.heard;
    // Between two blocks the sound goes on at its rate, but never past what
    // the device has been given.
    const double since =
        std::min(std::chrono::duration<double>(Session::Clock::now() - s.stamp).count(), kLongestCarry);
    const auto carried = s.heard + static_cast<int64_t>(since * kPlaybackRate);
    s.told = std::max(s.told, std::min(carried, s.written));
    return s.told;
}

bool GuardedSoundOutput::Finished() const
{
    if (!m_session)
        return true;
    m_session->KeepBounds(m_bounds);
    std::lock_guard<std::mutex> lock(m_session->mutex);
    return m_session->ended;
}

std::string GuardedSoundOutput::Problem() const
{
    if (!m_session)
        return m_problem;
    std::lock_guard<std::mutex> lock(m_session->mutex);
    return m_session->problem;
}

}  // namespace vocalume
