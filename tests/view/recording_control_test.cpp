// The recording control on its own: the device, the worker and the pause
// timer through Start, Pause, a Start before the timer and the timer's end,
// a device that fails to open, and a lost device's notice.
#include "recording_control.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "fake_view_host.h"
#include "scripted_source.h"

namespace vocalume {
namespace {

int ThreadsOfThisProcess()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Threads:", 0) == 0)
            return std::stoi(line.substr(8));
    return -1;
}

struct RecordingRig {
    RecordingRig()
    {
        auto owned = std::make_unique<ScriptedSoundSource>();
        source = owned.get();
        control = std::make_unique<RecordingControl>(*core, std::move(owned), true);
        control->Attach(&host);
    }
    std::unique_ptr<AnalysisCore> core = std::make_unique<AnalysisCore>();
    FakeHost host;
    ScriptedSoundSource* source = nullptr;
    std::unique_ptr<RecordingControl> control;
};

TEST(RecordingControl, StartPauseAndTheTimerWalkTheStates)
{
    RecordingRig rig;
    RecordingControl& control = *rig.control;
    EXPECT_TRUE(control.Still());
    control.Start(1144);
    EXPECT_TRUE(control.Recording());
    EXPECT_EQ(rig.source->opens, 1);
    EXPECT_EQ(rig.source->format.samplesPerSec, 11025);
    EXPECT_EQ(control.WaveIn().m_bufferBytes, 1144 * 4);
    EXPECT_TRUE(rig.core->WorkerHeld());

    // Pause: the device closes, the worker analyses on until the timer.
    EXPECT_TRUE(control.Pause());
    EXPECT_FALSE(control.Recording());
    EXPECT_TRUE(control.Pausing());
    EXPECT_FALSE(control.Still());
    EXPECT_EQ(rig.host.timerSets, std::vector<int>{500});
    EXPECT_TRUE(rig.core->WorkerHeld());
    EXPECT_FALSE(control.Pause()) << "not recording: no second timer";
    EXPECT_EQ(rig.host.timerSets.size(), 1u);

    control.EndPause();
    EXPECT_TRUE(control.Still());
    EXPECT_FALSE(rig.host.timerSet);
    EXPECT_FALSE(rig.core->WorkerHeld());
    EXPECT_EQ(rig.core->stopWorker.load(), 1);
}

// A Start while the pause timer is pending cancels it and keeps the worker:
// left pending, the timer would end the new recording's worker.
TEST(RecordingControl, AStartBeforeThePauseTimerCancelsIt)
{
    RecordingRig rig;
    rig.control->Start(1144);
    rig.control->Pause();
    rig.control->Start(1144);
    EXPECT_TRUE(rig.control->Recording());
    EXPECT_FALSE(rig.control->Pausing());
    EXPECT_FALSE(rig.host.timerSet);
    EXPECT_EQ(rig.host.timerKills, 1);
    EXPECT_TRUE(rig.core->WorkerHeld());
    EXPECT_EQ(rig.core->stopWorker.load(), 0);
}

// A device that will not open tells the user at every Start; one worker
// runs all along, so that what the ring holds is still analysed.
TEST(RecordingControl, AFailedStartTellsTheUserAndBeginsOneWorker)
{
    RecordingRig rig;
    rig.source->failOpen = true;
    const int threads = ThreadsOfThisProcess();
    rig.control->Start(1144);
    rig.control->Start(1144);
    EXPECT_EQ(rig.host.messages, (std::vector<std::string>{kOpenFailedMessage, kOpenFailedMessage}));
    EXPECT_FALSE(rig.control->Recording());
    EXPECT_TRUE(rig.core->WorkerHeld());
    EXPECT_EQ(ThreadsOfThisProcess(), threads + 1);
    rig.source->failOpen = false;
    rig.control->Start(1144);
    EXPECT_TRUE(rig.control->Recording());
    EXPECT_EQ(ThreadsOfThisProcess(), threads + 1);
}

// A lost device posts a notice of its own and is taken once, with the
// message for the user; one left untaken when recording starts again is not this
// recording's.
TEST(RecordingControl, ALostDeviceIsTakenOnceAndForgottenByTheNextStart)
{
    RecordingRig rig;
    rig.control->Start(1144);
    rig.source->Lose("the microphone was unplugged");
    EXPECT_EQ(rig.host.buffersPosted.load(), 1);
    std::string reason;
    EXPECT_TRUE(rig.control->TakeDeviceLost(reason));
    EXPECT_EQ(reason, "The recording stopped: the microphone was unplugged. Press space to try again.");
    EXPECT_FALSE(rig.control->TakeDeviceLost(reason));

    rig.source->Lose("the sound server went away");
    rig.control->Pause();
    rig.control->Start(1144);
    EXPECT_FALSE(rig.control->TakeDeviceLost(reason));
}

}  // namespace
}  // namespace vocalume
