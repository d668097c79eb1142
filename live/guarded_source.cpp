#include "guarded_source.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <utility>

namespace vocalume {

// One Open to Close of a wrapped source. The device thread runs the script
// open, start, watch, stop, close; the user-interface thread asks for the
// steps and passes the sink calls on while the gate is open.
struct GuardedSoundSource::Session final : SoundSink {
    enum class Opening { Pending, Opened, Failed };

    mutable std::mutex mutex;
    std::condition_variable changed;
    SoundSink* sink = nullptr;  // the gate: null once the session is ending
    Opening opening = Opening::Pending;
    std::string message;
    bool inputMissing = false;
    bool startWanted = false;
    bool endWanted = false;
    bool finished = false;
    bool lostReported = false;
    uint64_t deliveries = 0;

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
    // With the lock held.
    void ReportLost(const std::string& reason)
    {
        if (sink != nullptr && !lostReported)
            sink->DeviceLost(reason);
        lostReported = true;
    }

    void Run(const Factory& make, const WaveFormat& format, std::chrono::milliseconds silence,
             const std::string& input)
    {
        std::unique_ptr<SoundSource> source = make();
        std::string reason;
        if (source)
            source->SetInput(input);
        const bool opened = source && source->Open(format, *this, reason);
        const bool missing = opened && source->InputMissing();
        std::unique_lock<std::mutex> lock(mutex);
        opening = opened ? Opening::Opened : Opening::Failed;
        message = reason;
        inputMissing = missing;
        changed.notify_all();
        if (opened) {
            changed.wait(lock, [&] { return startWanted || endWanted; });
            if (!endWanted) {
                lock.unlock();
                source->Start();
                lock.lock();
                Watch(lock, silence);
            }
            lock.unlock();
            source->Stop();
            source->Close();
        } else {
            lock.unlock();
        }
        source.reset();
        lock.lock();
        finished = true;
        changed.notify_all();
    }

    // Until the end is asked for: a recording that goes quiet for `silence`
    // has lost its device.
    void Watch(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds silence)
    {
        using Clock = std::chrono::steady_clock;
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

bool GuardedSoundSource::Open(const WaveFormat& format, SoundSink& sink, std::string& userMessage)
{
    End();
    auto session = std::make_shared<Session>();
    session->sink = &sink;
    m_session = session;
    m_inputMissing = false;
    m_thread = std::thread([session, make = m_make, format, silence = m_bounds.silence, input = m_input] {
        session->Run(make, format, silence, input);
    });
    Session::Opening opening;
    {
        std::unique_lock<std::mutex> lock(session->mutex);
        session->changed.wait_for(lock, m_bounds.open,
                                  [&] { return session->opening != Session::Opening::Pending; });
        opening = session->opening;
        userMessage = session->message;
        m_inputMissing = session->inputMissing;
    }
    if (opening == Session::Opening::Opened)
        return true;
    if (opening == Session::Opening::Pending)
        userMessage = "Failed to open record device: it did not answer";
    End();
    return false;
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
        finished = m_session->changed.wait_for(lock, m_bounds.stop, [&] { return m_session->finished; });
    }
    // A device still busy keeps its thread, which ends once the device lets
    // it; the session it shares lives as long as that thread.
    if (finished)
        m_thread.join();
    else
        m_thread.detach();
    m_session.reset();
}

}  // namespace vocalume
