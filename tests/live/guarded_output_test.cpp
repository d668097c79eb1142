// The playback guard with devices the test scripts: one that never opens,
// one that takes sound and then stops answering, one slow to open (playing
// to the end is tested with a real sound server, by the live playback test).
// The user-interface thread must never wait on a device, and the position
// heard must not run ahead of a device that has not started.
#include "guarded_output.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    std::atomic<int> alive{0}, opened{0}, inside{0}, mostInside{0};

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
};

// Holds everything written as not yet heard: a device still waking up.
class ScriptedDevice final : public PlaybackDevice {
public:
    explicit ScriptedDevice(std::shared_ptr<Script> script) : m_script(std::move(script)) { ++m_script->alive; }
    ~ScriptedDevice() override { --m_script->alive; }
    bool Open(int32_t, std::string&) override
    {
        const int now = ++m_script->inside;
        m_script->mostInside = std::max(m_script->mostInside.load(), now);
        if (m_script->hangOpen)
            m_script->Hang();
        --m_script->inside;
        ++m_script->opened;
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
    return [script](const DeviceAttempt&) { return std::make_unique<ScriptedDevice>(script); };
}

template <class F>
bool Eventually(F done)
{
    for (int i = 0; i < 500 && !done(); ++i)
        std::this_thread::sleep_for(10ms);
    return done();
}

// Play returns while the device hangs opening; once the bound has passed,
// playing has ended with a reason. The program's exit waits for the hung
// device thread only up to its bound.
TEST(GuardedOutputThreads, ADeviceThatNeverOpensIsGivenUpWithAReason)
{
    auto script = std::make_shared<Script>();
    script->hangOpen = true;
    const SoundChunks samples(std::vector<int16_t>(11025, int16_t{1}));
    {
        GuardedSoundOutput output(MakeFactory(script), {100ms, 100ms});
        std::string reason;
        EXPECT_TRUE(output.Play(samples, 0, reason));
        EXPECT_FALSE(output.Finished());
        ASSERT_TRUE(Eventually([&] { return output.Finished(); }));
        EXPECT_EQ(output.Problem(), "the sound output did not answer");
        output.Stop();
        EXPECT_EQ(output.Problem(), "the sound output did not answer");
    }
    EXPECT_FALSE(WaitForDeviceThreads(50ms));
    script->Release();
    EXPECT_TRUE(WaitForDeviceThreads(5s));
    EXPECT_EQ(script->alive.load(), 0);
}

// A device that takes three blocks and then no more: the position stays at
// the start (it held all it was given), playing ends with a reason once it
// has stalled for the bound, and Stop returns although its Write hangs.
TEST(GuardedOutputThreads, NothingIsHeardBeforeTheDevicePlaysAndAStalledDeviceIsGivenUp)
{
    auto script = std::make_shared<Script>();
    script->blocksBeforeHang = 3;
    const SoundChunks samples(std::vector<int16_t>(11025, int16_t{1}));
    {
        GuardedSoundOutput output(MakeFactory(script), {1000ms, 300ms});
        std::string reason;
        ASSERT_TRUE(output.Play(samples, 500, reason));
        for (int i = 0; i < 10; ++i) {
            EXPECT_EQ(output.HeardPosition(), 500);
            std::this_thread::sleep_for(10ms);
        }
        ASSERT_TRUE(Eventually([&] { return output.Finished(); }));
        EXPECT_EQ(output.Problem(), "the sound output stopped answering");
        EXPECT_EQ(output.HeardPosition(), 500);
        output.Stop();  // returns although the device's Write hangs
        EXPECT_TRUE(output.Finished());
    }
    script->Release();
    EXPECT_TRUE(WaitForDeviceThreads(5s));
    EXPECT_EQ(script->alive.load(), 0);
}

// P pressed again and again while the device is slow to open: no Play or
// Stop waits for it; every new Play's device waits for its turn, so that
// never two open at once, and the last one plays once the device answers.
TEST(GuardedOutputThreads, PlayAndStopNeverWaitForTheDevice)
{
    auto script = std::make_shared<Script>();
    script->hangOpen = true;
    const SoundChunks samples(std::vector<int16_t>(11025, int16_t{1}));
    GuardedSoundOutput output(MakeFactory(script), {5000ms, 5000ms});
    std::string reason;
    ASSERT_TRUE(output.Play(samples, 0, reason));
    ASSERT_TRUE(Eventually([&] { return script->inside.load() == 1; }));
    for (int press = 1; press < 6; ++press) {
        if (press % 2 == 0)
            ASSERT_TRUE(output.Play(samples, 0, reason));
        else
            output.Stop();
    }
    ASSERT_TRUE(output.Play(samples, 0, reason));
    EXPECT_FALSE(output.Finished());
    script->Release();
    ASSERT_TRUE(Eventually([&] { return output.Finished(); }));
    EXPECT_EQ(output.Problem(), "");
    EXPECT_EQ(output.HeardPosition(), 11025);
    output.Stop();
    EXPECT_TRUE(WaitForDeviceThreads(5s));
    EXPECT_EQ(script->mostInside.load(), 1);
    EXPECT_EQ(script->opened.load(), 2) << "the first, already opening, and the last";
}

}  // namespace
}  // namespace vocalume
