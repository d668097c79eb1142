#include "guarded_source.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace vocalume {
namespace {

using namespace std::chrono_literals;

// A gate the test opens by hand: a device call that hangs until then.
struct Latch {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    void Wait()
    {
        std::unique_lock<std::mutex> lock(mutex);
        opened.wait(lock, [&] { return open; });
    }
    void Open()
    {
        std::lock_guard<std::mutex> lock(mutex);
        open = true;
        opened.notify_all();
    }
};

// What the test shares with the sources the guard makes (which may outlive
// the guard).
struct Script {
    Latch openLatch, stopLatch;
    bool hangOpen = false, hangStop = false;
    std::atomic<SoundSink*> sink{nullptr};
    std::atomic<int> alive{0};
    std::atomic<int32_t> bufferPairs{-1};  // what the sink said at Open
};

class HangingSource final : public SoundSource {
public:
    explicit HangingSource(std::shared_ptr<Script> s) : m_script(std::move(s)) { ++m_script->alive; }
    ~HangingSource() override { --m_script->alive; }
    bool Open(const WaveFormat&, SoundSink& sink, std::string&) override
    {
        if (m_script->hangOpen)
            m_script->openLatch.Wait();
        m_script->sink = &sink;
        m_script->bufferPairs = sink.BufferPairs();
        return true;
    }
    void Start() override {}
    void Stop() override
    {
        if (m_script->hangStop)
            m_script->stopLatch.Wait();
    }
    void Close() override {}

private:
    std::shared_ptr<Script> m_script;
};

struct CountingSink final : SoundSink {
    std::atomic<int> frames{0}, lost{0};
    void Deliver(const int16_t*, int32_t n) override { frames += n; }
    int32_t FramesWanted() const override { return 0; }
    int32_t BufferPairs() const override { return 88; }
    void EndOfStream() override {}
    void DeviceLost(const std::string&) override { ++lost; }
};

// Waits for `done`, up to a few seconds, so that a fault fails the test
// instead of hanging it.
template <class F>
bool Eventually(F done)
{
    for (int i = 0; i < 500 && !done(); ++i)
        std::this_thread::sleep_for(10ms);
    return done();
}

GuardedSoundSource::Bounds Short() { return {200ms, 50ms, 60s}; }

// A device that hangs in Open or Stop holds up neither; once given up, what
// it still delivers reaches nobody, and it is cleaned up when it returns.
TEST(GuardedSourceThreads, AHangingDeviceIsGivenUpAndSilenced)
{
    auto script = std::make_shared<Script>();
    CountingSink sink;
    {
        GuardedSoundSource guard([script] { return std::make_unique<HangingSource>(script); }, Short());
        std::string message;
        script->hangOpen = true;
        EXPECT_FALSE(guard.Open(WaveFormat{}, sink, message));
        EXPECT_NE(message.find("did not answer"), std::string::npos) << message;
        script->openLatch.Open();
        ASSERT_TRUE(Eventually([&] { return script->alive == 0; }));

        script->hangOpen = false;
        script->sink = nullptr;
        script->hangStop = true;
        ASSERT_TRUE(guard.Open(WaveFormat{}, sink, message));
        guard.Start();
        const int16_t pair[2] = {1, 2};
        script->sink.load()->Deliver(pair, 1);
        EXPECT_EQ(sink.frames, 1);
        guard.Stop();  // returns although the device's Stop hangs
        script->sink.load()->Deliver(pair, 1);
        script->sink.load()->DeviceLost("late");
        guard.Close();
    }
    EXPECT_EQ(sink.frames, 1);
    EXPECT_EQ(sink.lost, 0);
    script->stopLatch.Open();
    EXPECT_TRUE(Eventually([&] { return script->alive == 0; }));
}

// A recording that goes quiet, and a device that says it is lost as well,
// give the sink one notice between them. The device's buffer size reaches
// the source through the guard, so that short buffers are delivered as
// soon as they are full.
TEST(GuardedSourceThreads, AQuietDeviceIsReportedLostOnce)
{
    auto script = std::make_shared<Script>();
    CountingSink sink;
    GuardedSoundSource guard([script] { return std::make_unique<HangingSource>(script); },
                             {200ms, 5s, 40ms});
    std::string message;
    ASSERT_TRUE(guard.Open(WaveFormat{}, sink, message));
    EXPECT_EQ(script->bufferPairs, 88);
    guard.Start();
    ASSERT_TRUE(Eventually([&] { return sink.lost > 0; }));
    script->sink.load()->DeviceLost("unplugged");
    std::this_thread::sleep_for(200ms);  // several more quiet spells
    guard.Close();
    EXPECT_EQ(sink.lost, 1);
}

}  // namespace
}  // namespace vocalume
