#include "guarded_source.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <utility>

#include "wave_in.h"

namespace vocalume {

// One Open to Close of a wrapped source. The device thread runs the script
// open, start, stop, close, taking its turn in the device lane to open and
// to close; the watcher keeps the open bound and, while recording, watches
// for silence; the user-interface thread asks for the steps and passes the
// sink calls on while the gate is open.
struct GuardedSoundSource::Session final : SoundSink {
    enum class Opening { Pending, Opened, Failed };

    mutable std::mutex mutex;
    std::condition_variable changed;
    SoundSink* sink = nullptr;  // the gate: null once the session is ending
    Opening opening = Opening::Pending;
    bool inputMissing = false;
    bool startWanted = false;
    bool endWanted = false;
    bool finished = false;
    bool told = false;  // the sink heard of a failed open or a lost device
    uint64_t deliveries = 0;
    std::shared_ptr<DeviceAttempt> attempt = BeginDeviceAttempt();

    void Deliver(const int16_t* pairs, int32_t frames) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++deliveries;
        if (sink != nullptr)
            sink->Deliver(pairs, frames);
    }
    int32_t FramesWanted() const override
    {
        std::lock_guard<std::mutex> lock(mutex);
        return sink != nullptr ? sink->FramesWanted() : 0;
    }
    int32_t BufferPairs() const override
    {
        std::lock_guard<std::mutex> lock(mutex);
        return sink != nullptr ? sink->BufferPairs() : 0;
    }
    void EndOfStream() override
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (sink != nullptr)
            sink->EndOfStream();
    }
    void DeviceLost(const std::string& reason) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ReportLost(reason);
    }
    // With the lock held: the sink hears of a lost device once.
    void ReportLost(const std::string& reason)
    {
        if (sink != nullptr && !told)
            sink->DeviceLost(reason);
        told = true;
    }
    // With the lock held: the sink hears once that the device did not open.
    void ReportOpenFailed(const std::string& message)
    {
        if (sink != nullptr && !told)
            sink->OpenFailed(message);
        told = true;
    }

    // The device thread.
    void Run(const Factory& make, const WaveFormat& format, const std::string& input)
    {
        std::unique_ptr<SoundSource> source;
        std::string message;
        bool opened = false;
        DeviceTurn turn(*attempt);
        if (turn.Held()) {
            source = make(*attempt);
            if (source) {
                source->SetInput(input);
                opened = source->Open(format, *this, message);
            }
        }
        const bool missing = opened && source->InputMissing();
        bool wanted;
        {
            std::lock_guard<std::mutex> lock(mutex);
            wanted = !endWanted && !attempt->GivenUp();
            opening = opened ? Opening::Opened : Opening::Failed;
            inputMissing = missing;
            if (!opened && wanted)
                ReportOpenFailed(message.empty() ? kOpenFailedMessage : message);
            changed.notify_all();
        }
        if (opened && wanted) {
            turn.Release();
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return startWanted || endWanted; });
            if (!endWanted) {
                lock.unlock();
                source->Start();
                lock.lock();
                changed.wait(lock, [&] { return endWanted; });
            }
        }
        if (opened) {
            // Closing takes its turn too (unless it still holds the one it
            // opened in), given up or not: what was opened is closed.
            std::optional<DeviceTurn> closing;
            if (!turn.Held())
                closing.emplace(*attempt, true);
            source->Stop();
            source->Close();
            source.reset();
        }
        source.reset();
        turn.Release();
        {
            std::lock_guard<std::mutex> lock(mutex);
            finished = true;
            changed.notify_all();
        }
        EndDeviceAttempt(*attempt);
    }

    // The watcher: a device that does not open within `open` is given up and
    // told; while recording, one that goes quiet for `silence` is lost.
    void Watch(std::chrono::milliseconds open, std::chrono::milliseconds silence)
    {
        using Clock = std::chrono::steady_clock;
        std::unique_lock<std::mutex> lock(mutex);
        if (!changed.wait_for(lock, open, [&] { return opening != Opening::Pending || endWanted; })) {
            ReportOpenFailed(std::string(kOpenFailedMessage) + ": it did not answer");
            lock.unlock();
            attempt->GiveUp();
            return;
        }
        changed.wait(lock, [&] { return (opening == Opening::Opened && startWanted) || opening == Opening::Failed ||
                                        endWanted; });
        if (opening != Opening::Opened || endWanted)
            return;
        const auto period = std::min<Clock::duration>(silence / 4, std::chrono::milliseconds(250));
        uint64_t seen = deliveries;
        auto lastNews = Clock::now();
        while (!endWanted) {
            changed.wait_for(lock, period);
            const auto now = Clock::now();
            if (deliveries != seen) {
                seen = deliveries;
                lastNews = now;
            } else if (now - lastNews >= silence) {
                ReportLost("the sound device stopped delivering sound");
            }
        }
    }
};

GuardedSoundSource::GuardedSoundSource(Factory make) : GuardedSoundSource(std::move(make), Bounds{}) {}

GuardedSoundSource::GuardedSoundSource(Factory make, Bounds bounds)
    : m_make(std::move(make)), m_bounds(bounds)
{
}

GuardedSoundSource::~GuardedSoundSource() { End(); }

bool GuardedSoundSource::Open(const WaveFormat& format, SoundSink& sink, std::string&)
{
    End();
    auto session = std::make_shared<Session>();
    session->sink = &sink;
    m_session = session;
    m_thread = std::thread([session, make = m_make, format, input = m_input] { session->Run(make, format, input); });
    m_watcher = std::thread([session, open = m_bounds.open, silence = m_bounds.silence] {
        session->Watch(open, silence);
    });
    return true;
}

void GuardedSoundSource::Start()
{
    if (!m_session)
        return;
    std::lock_guard<std::mutex> lock(m_session->mutex);
    m_session->startWanted = true;
    m_session->changed.notify_all();
}

void GuardedSoundSource::Stop() { End(); }

void GuardedSoundSource::Close() { End(); }

bool GuardedSoundSource::InputMissing() const
{
    if (!m_session)
        return false;
    std::lock_guard<std::mutex> lock(m_session->mutex);
    return m_session->opening == Session::Opening::Opened && m_session->inputMissing;
}

void GuardedSoundSource::End()
{
    if (!m_session)
        return;
    bool finished;
    {
        std::unique_lock<std::mutex> lock(m_session->mutex);
        // From here on nothing reaches the sink, whatever the device does.
        m_session->sink = nullptr;
        m_session->endWanted = true;
        m_session->changed.notify_all();
        // A device that opened is given a moment to stop and close; one
        // still opening is not waited for.
        finished = m_session->opening == Session::Opening::Opened
                       ? m_session->changed.wait_for(lock, m_bounds.stop, [&] { return m_session->finished; })
                       : m_session->finished;
    }
    m_watcher.join();
    // A device still busy keeps its thread, which ends once the device lets
    // it, opening nothing more; the session it shares lives as long as that
    // thread.
    if (finished) {
        m_thread.join();
    } else {
        m_session->attempt->GiveUp();
        m_thread.detach();
    }
    m_session.reset();
}

}  // namespace vocalume
