#include "guarded_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "first_answering.h"

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
    bool hangOpen = false, failOpen = false, hangStop = false;
    std::atomic<SoundSink*> sink{nullptr};
    std::atomic<int> alive{0}, made{0}, opened{0};
    // Device calls inside a library at once, and the most there ever were.
    std::atomic<int> inside{0}, mostInside{0};
    std::atomic<int32_t> bufferPairs{-1};  // what the sink said at Open
};

class HangingSource final : public SoundSource {
public:
    explicit HangingSource(std::shared_ptr<Script> s) : m_script(std::move(s))
    {
        ++m_script->alive;
        ++m_script->made;
    }
    ~HangingSource() override { --m_script->alive; }
    bool Open(const WaveFormat&, SoundSink& sink, std::string&) override
    {
        const int now = ++m_script->inside;
        m_script->mostInside = std::max(m_script->mostInside.load(), now);
        if (m_script->hangOpen)
            m_script->openLatch.Wait();
        --m_script->inside;
        if (m_script->failOpen)
            return false;
        ++m_script->opened;
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
    std::atomic<int> frames{0}, lost{0}, failed{0};
    std::mutex mutex;
    std::string message;
    void Deliver(const int16_t*, int32_t n) override { frames += n; }
    int32_t FramesWanted() const override { return 0; }
    int32_t BufferPairs() const override { return 88; }
    void EndOfStream() override {}
    void DeviceLost(const std::string&) override { ++lost; }
    void OpenFailed(const std::string& text) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        message = text;
        ++failed;
    }
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

GuardedSoundSource::Factory Hanging(const std::shared_ptr<Script>& script)
{
    return [script](const DeviceAttempt&) { return std::make_unique<HangingSource>(script); };
}

// Open returns while the device hangs in its Open; a device that does not
// answer in time is told to the sink once and given up; when it returns, it
// is cleaned up. A device that hangs in Stop holds up neither Stop nor Close,
// and what it still delivers reaches nobody.
TEST(GuardedSourceThreads, AHangingDeviceIsGivenUpAndSilenced)
{
    auto script = std::make_shared<Script>();
    CountingSink sink;
    {
        GuardedSoundSource guard(Hanging(script), Short());
        std::string message;
        script->hangOpen = true;
        ASSERT_TRUE(guard.Open(WaveFormat{}, sink, message));
        guard.Start();
        ASSERT_TRUE(Eventually([&] { return sink.failed > 0; }));
        {
            std::lock_guard<std::mutex> lock(sink.mutex);
            EXPECT_NE(sink.message.find("did not answer"), std::string::npos) << sink.message;
        }
        script->openLatch.Open();
        guard.Stop();
        ASSERT_TRUE(Eventually([&] { return script->alive == 0; }));
        EXPECT_EQ(sink.failed, 1);

        script->hangOpen = false;
        script->sink = nullptr;
        script->hangStop = true;
        ASSERT_TRUE(guard.Open(WaveFormat{}, sink, message));
        guard.Start();
        ASSERT_TRUE(Eventually([&] { return script->sink.load() != nullptr; }));
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
    EXPECT_TRUE(WaitForDeviceThreads(5s));
}

// A recording that goes quiet, and a device that says it is lost as well,
// give the sink one notice between them. The device's buffer size reaches
// the source through the guard, so that short buffers are delivered as
// soon as they are full.
TEST(GuardedSourceThreads, AQuietDeviceIsReportedLostOnce)
{
    auto script = std::make_shared<Script>();
    CountingSink sink;
    GuardedSoundSource guard(Hanging(script), {200ms, 5s, 40ms});
    std::string message;
    ASSERT_TRUE(guard.Open(WaveFormat{}, sink, message));
    guard.Start();
    ASSERT_TRUE(Eventually([&] { return sink.lost > 0; }));
    ASSERT_TRUE(Eventually([&] { return script->sink.load() != nullptr; }));
    EXPECT_EQ(script->bufferPairs, 88);
    script->sink.load()->DeviceLost("unplugged");
    std::this_thread::sleep_for(200ms);  // several more quiet spells
    guard.Close();
    EXPECT_EQ(sink.lost, 1);
    EXPECT_EQ(sink.failed, 0);
}

// A sound server frozen while space is pressed twice: the first attempt
// hangs inside the server's library and is given up; the second waits for
// its turn and is given up too, touching nothing, and ends. When the server answers at
// last (with a failure, after its client library's timeout), the given-up
// attempt goes on to no other library, and the waiting one never starts:
// never two attempts inside a library at once. The next press records
// through the second route.
TEST(GuardedSourceThreads, AGivenUpAttemptStartsNoOtherLibraryAndTheNextWaitsItsTurn)
{
    auto server = std::make_shared<Script>();
    auto system = std::make_shared<Script>();
    server->hangOpen = true;
    server->failOpen = true;
    const GuardedSoundSource::Factory routes = [server, system](const DeviceAttempt& attempt) {
        return MakeFirstAnsweringSource({[server] { return std::make_unique<HangingSource>(server); },
                                         [system] { return std::make_unique<HangingSource>(system); }},
                                        attempt);
    };
    CountingSink first, second, third;
    const int aliveBefore = DeviceThreadsAlive();
    GuardedSoundSource guard(routes, {100ms, 50ms, 60s});
    std::string message;
    ASSERT_TRUE(guard.Open(WaveFormat{}, first, message));
    guard.Start();
    ASSERT_TRUE(Eventually([&] { return first.failed > 0; }));
    guard.Stop();
    ASSERT_TRUE(guard.Open(WaveFormat{}, second, message));
    guard.Start();
    ASSERT_TRUE(Eventually([&] { return second.failed > 0; }));
    guard.Stop();
    // The waiting one leaves as soon as it is given up: one attempt is alive.
    EXPECT_TRUE(Eventually([&] { return DeviceThreadsAlive() == aliveBefore + 1; }));

    server->openLatch.Open();
    ASSERT_TRUE(WaitForDeviceThreads(5s));
    EXPECT_EQ(server->made, 1) << "the waiting attempt never started";
    EXPECT_EQ(system->made, 0) << "the given-up attempt went on to another library";
    EXPECT_EQ(server->mostInside, 1);

    ASSERT_TRUE(guard.Open(WaveFormat{}, third, message));
    guard.Start();
    ASSERT_TRUE(Eventually([&] { return system->opened > 0; }));
    guard.Stop();
    EXPECT_EQ(third.failed, 0);
    EXPECT_TRUE(WaitForDeviceThreads(5s));
}

}  // namespace
}  // namespace vocalume
