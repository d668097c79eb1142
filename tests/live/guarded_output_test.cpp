// The playback guard with devices the test scripts: one that never opens, one
// that takes sound and then stops answering (playing to the end is tested
// with a real sound server, by the live playback test). The
// user-interface thread must never wait long, and the position heard must
// not run ahead of a device that has not started.
#include "guarded_output.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace vocalume {
namespace {

using namespace std::chrono_literals;

// What the test shares with the devices the guard makes (which may outlive
// the guard, on a thread it gave up).
struct Script {
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
    bool hangOpen = false;
    int blocksBeforeHang = -1;  // -1: never hangs
    std::atomic<int> alive{0};

    void Hang()
    {
        std::unique_lock<std::mutex> lock(mutex);
        released.wait(lock, [&] { return release; });
    }
    void Release()
    {
        std::lock_guard<std::mutex> lock(mutex);
        release = true;
        released.notify_all();
    }
    void WaitUntilGone()
    {
        for (int i = 0; i < 200 && alive.load() > 0; ++i)
            std::this_thread::sleep_for(5ms);
    }
};

// Holds everything written as not yet heard: a device still waking up.
class ScriptedDevice final : public PlaybackDevice {
public:
    explicit ScriptedDevice(std::shared_ptr<Script> script) : m_script(std::move(script)) { ++m_script->alive; }
    ~ScriptedDevice() override { --m_script->alive; }
    bool Open(int32_t, std::string&) override
    {
        if (m_script->hangOpen)
            m_script->Hang();
        return true;
    }
    bool Write(const int16_t*, int32_t count) override
    {
        if (m_blocks++ == m_script->blocksBeforeHang)
            m_script->Hang();
        m_written += count;
        return true;
    }
    int64_t Pending() override { return m_written; }
    void Drain() override {}
    void Discard() override {}
    void Close() override {}

private:
    std::shared_ptr<Script> m_script;
    int m_blocks = 0;
    int64_t m_written = 0;
};

GuardedSoundOutput::Factory MakeFactory(const std::shared_ptr<Script>& script)
{
    return [script] { return std::make_unique<ScriptedDevice>(script); };
}

TEST(GuardedOutputThreads, ADeviceThatNeverOpensIsGivenUpWithAReason)
{
    auto script = std::make_shared<Script>();
    script->hangOpen = true;
    const SoundChunks samples(std::vector<int16_t>(11025, int16_t{1}));
    {
        GuardedSoundOutput output(MakeFactory(script), {100ms, 100ms});
        std::string reason;
        // Returns although the device's Open hangs.
        EXPECT_FALSE(output.Play(samples, 0, reason));
        EXPECT_EQ(reason, "the sound output did not answer");
        EXPECT_TRUE(output.Finished());
    }
    script->Release();
    script->WaitUntilGone();
    EXPECT_EQ(script->alive.load(), 0);
}

TEST(GuardedOutputThreads, NothingIsHeardBeforeTheDevicePlaysAndAStuckDeviceDoesNotHoldStop)
{
    auto script = std::make_shared<Script>();
    script->blocksBeforeHang = 3;
    const SoundChunks samples(std::vector<int16_t>(11025, int16_t{1}));
    {
        GuardedSoundOutput output(MakeFactory(script), {1000ms, 100ms});
        std::string reason;
        ASSERT_TRUE(output.Play(samples, 500, reason));
        // The device holds all it was given: the position stays at the start.
        for (int i = 0; i < 20; ++i) {
            EXPECT_EQ(output.HeardPosition(), 500);
            std::this_thread::sleep_for(10ms);
        }
        EXPECT_FALSE(output.Finished());
        output.Stop();  // returns although the device's Write hangs
        EXPECT_TRUE(output.Finished());
    }
    script->Release();
    script->WaitUntilGone();
    EXPECT_EQ(script->alive.load(), 0);
}

}  // namespace
}  // namespace vocalume
