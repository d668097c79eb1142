// The view's commands, keys, timer and Configure logic against an in-memory
// host and a scripted sound source, with a real worker thread on a core of
// the test's own.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "analysis_view.h"
#include "analysis_worker.h"
#include "column_painter.h"
#include "column_surface.h"
#include "fake_sound_output.h"
#include "framer.h"
#include "pitch_tracker.h"
#include "scripted_source.h"
#include "session_history.h"
#include "wave_in.h"

#include <sndfile.h>
#include <unistd.h>

namespace vocalume {
namespace {

class FakeHost : public ViewHost {
public:
    void RequestPaint() override { ++paintRequests; }
    void SetPauseTimer(int milliseconds) override
    {
        timerSets.push_back(milliseconds);
        timerSet = true;
    }
    void KillPauseTimer() override
    {
        ++timerKills;
        timerSet = false;
    }
    void SetPlayTimer(int milliseconds) override { playTimer = milliseconds; }
    void KillPlayTimer() override { playTimer = 0; }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool RunConfigDialog(ConfigValues& values) override
    {
        ++dialogs;
        offered = values;
        if (!dialogOk)
            return false;
        values = answer;
        return true;
    }
    void PostBufferDone() override { ++buffersPosted; }
    void SetStatusText(int field, const std::string& text) override { status[field] = text; }
    void ShowScrollBar(bool shown, int64_t position, int64_t page, int64_t range) override
    {
        scrollBar = shown;
        scrollPosition = position;
        (void)page;
        (void)range;
    }
    bool AskYesNo(const std::string& question) override
    {
        questions.push_back(question);
        return yes;
    }

    int paintRequests = 0;
    std::vector<int> timerSets;
    bool timerSet = false;
    int timerKills = 0;
    int playTimer = 0;
    std::vector<std::string> messages;
    int dialogs = 0;
    bool dialogOk = true;
    ConfigValues offered;
    ConfigValues answer;
    std::atomic<int> buffersPosted{0};
    std::string status[5];
    bool scrollBar = false;
    int64_t scrollPosition = 0;
    std::vector<std::string> questions;
    bool yes = true;
};

// Remembers the order in which settings are written.
class LoggingStore : public MemorySettingsStore {
public:
    void WriteProfileInt(const std::string& section, const std::string& key, int32_t value) override
    {
        writes.push_back(section + "/" + key + "=" + std::to_string(value));
        MemorySettingsStore::WriteProfileInt(section, key, value);
    }
    std::vector<std::string> writes;
};

int ThreadsOfThisProcess()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Threads:", 0) == 0)
            return std::stoi(line.substr(8));
    return -1;
}

bool AllDrawnCleared(const FrameRing& ring)
{
    for (int32_t s = 0; s < kRingSize; ++s)
        if (ring[s].drawn.load() != 0)
            return false;
    return true;
}

void MarkAllDrawn(FrameRing& ring)
{
    for (int32_t s = 0; s < kRingSize; ++s)
        ring[s].drawn.store(1);
}

// Waits (bounded) until the worker has analysed every frame written so far.
bool WaitUntilAnalysed(const FrameRing& ring)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
        bool all = true;
        for (int32_t s = 0; s < kRingSize && all; ++s)
            all = ring[s].fresh.load() == 0;
        if (all)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

class ViewTest : public ::testing::Test {
protected:
    void Make(ViewOptions options = {})
    {
        auto owned = std::make_unique<ScriptedSoundSource>();
        source = owned.get();
        view = std::make_unique<CAnalysisView>(store, *core, std::move(owned), options);
        view->OnCreate(host);
        view->OnSize(300, 100);
        host.paintRequests = 0;
    }

    // One device buffer of sound, handled as the window hands it on.
    void FeedBuffer()
    {
        source->DeliverCounting(view->WaveIn().m_bufferBytes / 4);
        view->OnWimData();
    }

    // Records `buffers` buffers, the analysis scanned here, then pauses
    // until the pause timer has fired.
    void RecordThenPause(int buffers)
    {
        auto state = std::make_unique<AnalyserState>();
        view->OnStart();
        for (int i = 0; i < buffers; ++i) {
            FeedBuffer();
            core->ScanUntilIdle(*state);
            view->OnPaint();
        }
        view->OnPause();
        view->OnTimer();
    }

    std::unique_ptr<AnalysisCore> core = std::make_unique<AnalysisCore>();
    LoggingStore store;
    FakeHost host;
    ScriptedSoundSource* source = nullptr;
    std::unique_ptr<CAnalysisView> view;
};

TEST_F(ViewTest, NoStoredSettingsGiveTheDefaults)
{
    Make();
    EXPECT_EQ(view->RefreshRate(), 10);
    EXPECT_EQ(view->Undersampling(), 3);
    EXPECT_EQ(view->ShowWaveform(), 1);
    EXPECT_EQ(view->ShowTimescale(), 1);
    EXPECT_EQ(view->Framing().m_framesPerBuffer, 104);
    EXPECT_EQ(view->Framing().m_samplesPerBuffer, 1144);
    EXPECT_FALSE(view->IsRecording());
    EXPECT_FALSE(core->WorkerHeld());
}

TEST_F(ViewTest, StoredValuesThatCannotWorkAreReplacedByTheDefaults)
{
    struct Case {
        int32_t refresh, sampling;
        int32_t wantRefresh, wantSampling;
    };
    const Case cases[] = {{0, 0, 10, 3},    {99, -4, 10, 3}, {31, 1, 10, 1},
                          {1, 7, 1, 7},     {30, 5, 30, 5},  {25, 2, 25, 2}};
    for (const Case& c : cases) {
        auto fresh = std::make_unique<AnalysisCore>();
        MemorySettingsStore s;
        s.WriteProfileInt("config", "refresh", c.refresh);
        s.WriteProfileInt("config", "sampling", c.sampling);
        s.WriteProfileInt("config", "waveform", 0);
        s.WriteProfileInt("config", "palette", c.refresh);  // only 1 names a palette besides 0
        CAnalysisView v(s, *fresh, std::make_unique<ScriptedSoundSource>());
        EXPECT_EQ(v.PaletteSetting(), c.refresh == 1 ? 1 : 0) << c.refresh;
        EXPECT_EQ(v.RefreshRate(), c.wantRefresh) << c.refresh;
        EXPECT_EQ(v.Undersampling(), c.wantSampling) << c.sampling;
        EXPECT_EQ(v.ShowWaveform(), 0);
        EXPECT_EQ(v.ShowTimescale(), 1);
        EXPECT_GT(v.Framing().m_framesPerBuffer, 0);
    }
}

TEST_F(ViewTest, DialogOpensOnTheStoredValuesAsText)
{
    store.WriteProfileInt("config", "refresh", 1);
    store.WriteProfileInt("config", "timescale", 0);
    Make();
    host.dialogOk = false;
    view->OnConfigure();
    EXPECT_EQ(host.offered.refresh, "1");
    EXPECT_EQ(host.offered.sampling, "3");
    EXPECT_EQ(host.offered.waveform, 1);
    EXPECT_EQ(host.offered.timescale, 0);
}

TEST_F(ViewTest, SettingsAreWrittenBackOnDestructionInOrder)
{
    store.WriteProfileInt("config", "sampling", 5);
    Make();
    host.answer = {"20", "5", 0, 1, 1};  // refresh 20, timescale 0, waveform 1, colour-blind
    view->OnConfigure();
    store.writes.clear();
    view->OnStart();
    const std::shared_ptr<int> closes = source->closesSeen;
    view.reset();
    source = nullptr;  // went with the view
    EXPECT_EQ(store.writes, (std::vector<std::string>{"config/refresh=20", "config/sampling=5",
                                                      "config/waveform=1", "config/timescale=0",
                                                      "config/palette=1", "config/pitchline=0",
                                                      "history/minutes=30"}));
    EXPECT_EQ(core->stopWorker.load(), 1);
    EXPECT_FALSE(core->WorkerHeld());
    EXPECT_EQ(*closes, 1);
}

// A browser tab may close without the view being destroyed: its host saves
// the settings as they change, and the view goes on.
TEST_F(ViewTest, SettingsCanBeSavedWhileTheViewGoesOn)
{
    Make();
    view->SetPitchLine(true);
    view->SaveSettings();
    EXPECT_EQ(store.GetProfileInt("config", "pitchline", 0), 1);
    EXPECT_EQ(store.GetProfileInt("config", "refresh", 0), 10);
    view->OnStart();
    EXPECT_TRUE(view->IsRecording());
}

TEST_F(ViewTest, StartPauseAndTimerWalkTheStates)
{
    Make();
    MarkAllDrawn(core->ring);

    // idle -> recording
    view->OnStart();
    EXPECT_TRUE(view->IsRecording());
    EXPECT_EQ(source->opens, 1);
    EXPECT_EQ(source->format.samplesPerSec, 11025);
    EXPECT_EQ(view->WaveIn().m_bufferBytes, 1144 * 4);
    EXPECT_TRUE(core->WorkerHeld());
    EXPECT_EQ(core->stopWorker.load(), 0);
    EXPECT_TRUE(AllDrawnCleared(core->ring));
    EXPECT_EQ(view->Surface().InvalidBounds(), view->Surface().ClientRect());
    EXPECT_EQ(host.paintRequests, 1);

    // Start while recording: nothing at all, not even a paint request.
    MarkAllDrawn(core->ring);
    view->OnStart();
    EXPECT_EQ(host.paintRequests, 1);
    EXPECT_EQ(source->opens, 1);
    EXPECT_EQ(core->ring[0].drawn.load(), 1);

    // recording -> pausing: device closed, worker still running.
    view->OnPause();
    EXPECT_FALSE(view->IsRecording());
    EXPECT_EQ(source->closes, 1);
    EXPECT_EQ(host.timerSets, std::vector<int>{500});
    EXPECT_TRUE(core->WorkerHeld());
    EXPECT_EQ(core->stopWorker.load(), 0);

    // Pause or Esc while pausing: no second timer.
    view->OnPause();
    view->OnChar(27);
    EXPECT_EQ(host.timerSets.size(), 1u);

    // pausing -> idle: exactly one redraw, the timer killed, the worker ended.
    const int before = host.paintRequests;
    view->OnTimer();
    EXPECT_EQ(host.paintRequests, before + 1);
    EXPECT_TRUE(AllDrawnCleared(core->ring));
    EXPECT_EQ(host.timerKills, 1);
    EXPECT_FALSE(host.timerSet);
    EXPECT_FALSE(core->WorkerHeld());
    EXPECT_EQ(core->stopWorker.load(), 1);

    // The next Start begins a new worker.
    view->OnStart();
    EXPECT_TRUE(core->WorkerHeld());
    EXPECT_EQ(core->stopWorker.load(), 0);
}

TEST_F(ViewTest, PauseAndEscWhileIdleSetNoTimer)
{
    Make();
    view->OnPause();
    view->OnChar(27);
    EXPECT_TRUE(host.timerSets.empty());
    EXPECT_EQ(host.paintRequests, 0);
    // A stray timer notice with no Pause behind it changes nothing.
    view->OnTimer();
    EXPECT_EQ(host.paintRequests, 0);
    EXPECT_EQ(core->stopWorker.load(), 0);
}

TEST_F(ViewTest, KeysToggleRedrawAndPause)
{
    Make();
    view->OnChar(' ');
    EXPECT_TRUE(view->IsRecording());
    view->OnChar(' ');
    EXPECT_FALSE(view->IsRecording());
    EXPECT_EQ(host.timerSets.size(), 1u);

    for (int c : {'R', 'r'}) {
        MarkAllDrawn(core->ring);
        const int before = host.paintRequests;
        view->OnChar(c);
        EXPECT_EQ(host.paintRequests, before + 1);
        EXPECT_TRUE(AllDrawnCleared(core->ring));
    }

    // Other characters do nothing.
    MarkAllDrawn(core->ring);
    const int before = host.paintRequests;
    for (int c : {int{'x'}, int{'S'}, 13, 0})
        view->OnChar(c);
    EXPECT_EQ(host.paintRequests, before);
    EXPECT_EQ(core->ring[17].drawn.load(), 1);

    view->OnTimer();
    view->OnChar(' ');
    ASSERT_TRUE(view->IsRecording());
    view->OnChar(27);
    EXPECT_FALSE(view->IsRecording());
    EXPECT_EQ(host.timerSets.size(), 2u);
}

TEST_F(ViewTest, StartBeforeThePauseTimerKeepsTheWorkerAnalysing)
{
    Make();
    view->OnStart();
    FeedBuffer();
    view->OnPause();
    ASSERT_TRUE(host.timerSet);

    view->OnStart();
    EXPECT_TRUE(view->IsRecording());
    EXPECT_FALSE(host.timerSet);
    EXPECT_FALSE(view->IsPauseTimerSet());
    EXPECT_EQ(host.timerKills, 1);
    // A timer notice that was already queued does not end the worker.
    view->OnTimer();
    EXPECT_TRUE(core->WorkerHeld());
    EXPECT_EQ(core->stopWorker.load(), 0);

    // The held samples and the numbering continue, and the running worker
    // analyses the new frames.
    const int32_t before = view->Framing().m_frameCounter;
    FeedBuffer();
    EXPECT_EQ(view->Framing().m_frameCounter, before + 104);
    EXPECT_TRUE(WaitUntilAnalysed(core->ring));
    EXPECT_EQ(host.buffersPosted.load(), 2);
}

TEST_F(ViewTest, FailedStartShowsOneMessageAndBeginsOneWorker)
{
    Make();
    source->failOpen = true;
    const int threadsBefore = ThreadsOfThisProcess();

    view->OnStart();
    EXPECT_EQ(host.messages, std::vector<std::string>{kOpenFailedMessage});
    EXPECT_FALSE(view->IsRecording());
    EXPECT_TRUE(core->WorkerHeld());
    EXPECT_EQ(core->stopWorker.load(), 0);
    EXPECT_EQ(host.paintRequests, 1);
    EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore + 1);

    // Not recording: Pause and Esc do nothing.
    view->OnPause();
    view->OnChar(27);
    EXPECT_TRUE(host.timerSets.empty());

    // A retry tells the user again and begins no second worker.
    view->OnStart();
    EXPECT_EQ(host.messages.size(), 2u);
    EXPECT_FALSE(view->IsRecording());
    EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore + 1);

    // Once the device opens, recording runs with the same worker.
    source->failOpen = false;
    view->OnStart();
    EXPECT_TRUE(view->IsRecording());
    EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore + 1);
}

// A microphone unplugged while recording: the user is told once why, the
// recording pauses with its frames kept, and space records again.
TEST_F(ViewTest, ALostDeviceIsToldOncePausesAndKeepsTheFrames)
{
    Make();
    view->OnStart();
    FeedBuffer();
    FeedBuffer();
    const int32_t written = core->ring.WritePosition();
    const int posted = host.buffersPosted;

    source->Lose("the microphone was unplugged");
    EXPECT_EQ(host.buffersPosted, posted + 1);
    view->OnWimData();
    view->OnWimData();  // a stale notice after it changes nothing
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].find("the microphone was unplugged"), std::string::npos);
    EXPECT_FALSE(view->IsRecording());
    EXPECT_TRUE(view->IsPauseTimerSet());
    EXPECT_EQ(core->ring.WritePosition(), written);

    view->OnChar(' ');
    EXPECT_TRUE(view->IsRecording());
    EXPECT_EQ(source->opens, 2);
    EXPECT_EQ(host.messages.size(), 1u);
}

TEST_F(ViewTest, ConfigureWithUnchangedValuesOnlyRedraws)
{
    Make();
    view->OnStart();
    FeedBuffer();
    const int32_t written = core->ring.WritePosition();
    ASSERT_GT(written, 0);
    MarkAllDrawn(core->ring);
    const int before = host.paintRequests;

    host.answer = {"10", "3", 0, 0};
    view->OnConfigure();
    EXPECT_TRUE(view->IsRecording());
    EXPECT_TRUE(host.timerSets.empty());
    EXPECT_EQ(core->ring.WritePosition(), written);  // no ring reset
    EXPECT_EQ(view->ShowWaveform(), 0);
    EXPECT_EQ(view->ShowTimescale(), 0);
    EXPECT_EQ(view->Fields().m_showWaveform, 0);
    EXPECT_EQ(host.paintRequests, before + 1);
    EXPECT_TRUE(AllDrawnCleared(core->ring));
}

TEST_F(ViewTest, ConfigureWithANewRatioPausesAndResets)
{
    Make();
    view->OnStart();
    FeedBuffer();
    ASSERT_GT(core->ring.WritePosition(), 0);

    host.answer = {"10", "1", 1, 1};
    view->OnConfigure();
    EXPECT_FALSE(view->IsRecording());
    EXPECT_EQ(host.timerSets, std::vector<int>{500});
    EXPECT_EQ(view->Undersampling(), 1);
    EXPECT_EQ(view->Framing().m_framesPerBuffer, 104);  // framing unchanged...
    EXPECT_EQ(core->ring.WritePosition(), 0);           // ...but the ring is reset
    EXPECT_EQ(view->Framing().m_frameCounter, 5000);
    EXPECT_EQ(view->Framing().m_accumCount, 0);
    EXPECT_TRUE(core->WorkerHeld());  // still running until the timer
}

TEST_F(ViewTest, ConfigureWithANewRefreshRateWhileIdle)
{
    Make();
    host.answer = {"25", "3", 1, 1};
    view->OnConfigure();
    EXPECT_TRUE(host.timerSets.empty());
    EXPECT_EQ(view->RefreshRate(), 25);
    EXPECT_EQ(view->Framing().m_framesPerBuffer, 40);
    EXPECT_EQ(view->Framing().m_samplesPerBuffer, 440);
    EXPECT_EQ(host.paintRequests, 1);
    EXPECT_FALSE(core->WorkerHeld());

    // The next Start opens the device with the new buffer size.
    view->OnStart();
    EXPECT_EQ(view->WaveIn().m_bufferBytes, 440 * 4);
}

TEST_F(ViewTest, ConfigureWithDisplayOptionsOnlyKeepsRecording)
{
    Make();
    view->OnStart();
    host.answer = {"10", "3", 0, 1};
    const int before = host.paintRequests;
    view->OnConfigure();
    EXPECT_TRUE(view->IsRecording());
    EXPECT_TRUE(host.timerSets.empty());
    EXPECT_EQ(view->ShowTimescale(), 0);
    EXPECT_EQ(view->ShowWaveform(), 1);
    EXPECT_EQ(host.paintRequests, before + 1);
}

TEST_F(ViewTest, CancelChangesNothingAndRedrawsNothing)
{
    Make();
    view->OnStart();
    MarkAllDrawn(core->ring);
    host.dialogOk = false;
    host.answer = {"25", "1", 0, 0};
    const int before = host.paintRequests;
    view->OnConfigure();
    EXPECT_EQ(host.dialogs, 1);
    EXPECT_TRUE(view->IsRecording());
    EXPECT_EQ(view->RefreshRate(), 10);
    EXPECT_EQ(view->Undersampling(), 3);
    EXPECT_EQ(view->ShowWaveform(), 1);
    EXPECT_EQ(host.paintRequests, before);
    EXPECT_EQ(core->ring[3].drawn.load(), 1);
}

TEST_F(ViewTest, AListLeftWithoutSelectionKeepsItsValue)
{
    store.WriteProfileInt("config", "refresh", 15);
    Make();
    view->OnStart();
    // Neither list selected: the texts are empty or no number at all.
    host.answer = {"", "x", 1, 0};
    view->OnConfigure();
    EXPECT_EQ(view->RefreshRate(), 15);
    EXPECT_EQ(view->Undersampling(), 3);
    EXPECT_TRUE(view->IsRecording());  // nothing changed that needs a pause
    EXPECT_EQ(view->ShowWaveform(), 0);
}

TEST_F(ViewTest, BuffersScrollThePictureAndPaintsDrawAnalysedColumns)
{
    Make(ViewOptions{false});
    view->OnStart();
    EXPECT_FALSE(core->WorkerHeld());  // the caller scans instead
    view->OnPaint();
    EXPECT_TRUE(view->Surface().IsValid());

    const int before = host.paintRequests;
    FeedBuffer();  // the first buffer cuts 104 - 35 frames
    EXPECT_EQ(host.paintRequests, before + 1);
    EXPECT_EQ(view->Surface().InvalidBounds(), (PixelRect{300 - 69, 0, 300, 100}));
    auto state = std::make_unique<AnalyserState>();
    core->ScanUntilIdle(*state);
    view->OnPaint();
    EXPECT_TRUE(view->Surface().IsValid());
    // The right-most column shows slot W - 104 - 6: a reset-state record, drawn
    // black with its one trace pixel, t/2 rows below the top edge.
    EXPECT_EQ(view->Surface().PixelAt(299, 4), (Rgb{0, 255, 128}));
    EXPECT_EQ(view->Surface().PixelAt(299, 50), (Rgb{0, 0, 0}));

    // A message for an ended recording (device closed) changes nothing.
    view->OnPause();
    const int32_t written = core->ring.WritePosition();
    view->OnWimData();
    EXPECT_EQ(core->ring.WritePosition(), written);
}

// Recording, pausing and looking back: Home shows other pixels, End shows
// the very pixels of the paused picture, the keys do nothing while
// recording, and the saved sound is exactly the sound that was analysed.
TEST_F(ViewTest, LookingBackReturnsToThePausedPictureAndSavesWhatWasAnalysed)
{
    Make(ViewOptions{false});
    auto state = std::make_unique<AnalyserState>();
    view->OnStart();
    for (int i = 0; i < 8; ++i) {
        FeedBuffer();
        core->ScanUntilIdle(*state);
        view->OnPaint();
    }
    view->OnKey(ViewKey::Home);
    EXPECT_FALSE(view->IsLookingBack()) << "not while recording";
    EXPECT_EQ(host.status[0], "Recording");
    view->OnPause();
    view->OnKey(ViewKey::Home);
    EXPECT_FALSE(view->IsLookingBack()) << "not before the pause has completed";
    view->OnTimer();
    view->OnPaint();
    EXPECT_EQ(host.status[0], "Paused");
    EXPECT_TRUE(host.scrollBar) << "8 buffers of frames are more than 300 columns";
    const size_t bytes = view->Surface().Stride() * static_cast<size_t>(view->SurfaceHeight());
    const std::vector<uint8_t> paused(view->SurfaceRgb(), view->SurfaceRgb() + bytes);

    view->OnKey(ViewKey::Home);
    view->OnPaint();
    EXPECT_TRUE(view->IsLookingBack());
    EXPECT_EQ(host.status[0], "Looking back");
    EXPECT_EQ(host.scrollPosition, 0);
    EXPECT_NE(std::vector<uint8_t>(view->SurfaceRgb(), view->SurfaceRgb() + bytes), paused);
    view->OnKey(ViewKey::Right);
    view->OnWheel(-3);
    view->OnKey(ViewKey::End);
    view->OnPaint();
    EXPECT_EQ(std::vector<uint8_t>(view->SurfaceRgb(), view->SurfaceRgb() + bytes), paused);

    const SessionHistory& session = view->Session();
    const std::vector<int16_t> sound = session.Sound();
    ASSERT_EQ(static_cast<int64_t>(sound.size()), session.EndFrame() * 11);
    ASSERT_GT(sound.size(), 8000u);
    for (size_t i = 0; i < sound.size(); ++i)
        ASSERT_EQ(sound[i], CountingSample(static_cast<int32_t>(i))) << i;
    const std::string path = ::testing::TempDir() + "/session-" + std::to_string(::getpid()) + ".wav";
    ASSERT_EQ(view->SaveRecording(path), "");
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    std::vector<int16_t> saved(static_cast<size_t>(info.frames));
    sf_read_short(file, saved.data(), info.frames);
    sf_close(file);
    std::remove(path.c_str());
    EXPECT_EQ(saved, sound);

    // Saved: a new session asks nothing. Space returns to the live end.
    EXPECT_TRUE(view->NewSession());
    EXPECT_TRUE(host.questions.empty());
    EXPECT_EQ(view->Session().EndFrame(), 0);
    EXPECT_FALSE(view->IsLookingBack());
    view->OnStart();
    FeedBuffer();
    view->OnPause();
    host.yes = false;
    EXPECT_FALSE(view->NewSession());
    EXPECT_EQ(host.questions, std::vector<std::string>{"Discard the recording so far?"});
    EXPECT_GT(view->Session().EndFrame(), 0);
}

// A voice gliding from 120 to 240 Hz over two seconds, five harmonics,
// silent between 0.8 and 1.0 s; the right channel the same.
class GlidingVoice {
public:
    std::vector<int16_t> Next(int32_t pairs)
    {
        std::vector<int16_t> out;
        for (int32_t i = 0; i < pairs; ++i, ++m_sample) {
            const double t = static_cast<double>(m_sample) / 11025;
            m_phase += 2 * M_PI * (120.0 + 60.0 * t) / 11025;
            double v = 0.0;
            for (int h = 1; h <= 5; ++h)
                v += std::sin(h * m_phase) / h;
            const auto s = static_cast<int16_t>(t >= 0.8 && t < 1.0 ? 0.0 : 6000.0 * v);
            out.push_back(s);
            out.push_back(s);
        }
        return out;
    }

private:
    int64_t m_sample = 0;
    double m_phase = 0.0;
};

// Pixels of the shown picture that the pitch line made white, but for the
// left-most column, which the live picture never paints.
std::vector<size_t> WhiteLinePixels(const CAnalysisView& view)
{
    std::vector<size_t> white;
    const size_t bytes = view.ShownStride() * static_cast<size_t>(view.ShownHeight());
    for (size_t i = 0; i + 2 < bytes; i += 3) {
        if (i % view.ShownStride() == 0)
            continue;
        const uint8_t* shown = view.ShownRgb() + i;
        const uint8_t* kept = view.SurfaceRgb() + i;
        if (shown[0] == 255 && shown[1] == 255 && shown[2] == 255 && (kept[0] & kept[1] & kept[2]) != 255)
            white.push_back(i);
    }
    return white;
}

// The pitch line: the session's estimates are the tracker's over the very
// sound the session keeps, across a Pause and a new era, up to the end of
// the take; the live line shows only final estimates, so looking back draws
// it again at the same pixels; it never touches the retained picture.
TEST_F(ViewTest, PitchLineFollowsTheSessionLiveAndLookingBack)
{
    Make(ViewOptions{false});
    auto state = std::make_unique<AnalyserState>();
    GlidingVoice voice;
    const auto feed = [&](int buffers) {
        for (int i = 0; i < buffers; ++i) {
            source->Deliver(voice.Next(view->WaveIn().m_bufferBytes / 4));
            view->OnWimData();
            core->ScanUntilIdle(*state);
            view->OnPaint();
        }
    };
    EXPECT_FALSE(view->PitchLine()) << "off by default";
    view->OnStart();
    feed(5);
    EXPECT_EQ(view->ShownRgb(), view->SurfaceRgb()) << "line off: the retained picture itself";
    const std::vector<uint8_t> retained(view->SurfaceRgb(),
                                        view->SurfaceRgb() + view->Surface().Stride() * 100);
    view->SetPitchLine(true);
    view->OnPaint();
    EXPECT_NE(view->ShownRgb(), view->SurfaceRgb());
    EXPECT_EQ(std::vector<uint8_t>(view->SurfaceRgb(), view->SurfaceRgb() + retained.size()), retained);
    feed(1);
    const std::vector<size_t> liveLine = WhiteLinePixels(*view);
    const int64_t liveRight = view->FrameAtColumn(299);
    EXPECT_GT(liveLine.size(), 200u);
    EXPECT_NE(host.status[3].find(" Hz \xC2\xB7 "), std::string::npos) << host.status[3];
    feed(5);
    // Refresh 20 starts a new era of the framer; the session goes on.
    host.answer = {"20", "3", 1, 1, 0};
    view->OnConfigure();
    view->OnStart();
    feed(10);
    view->OnPause();
    view->OnTimer();

    const SessionHistory& session = view->Session();
    const std::vector<int16_t> sound = session.Sound();
    ASSERT_EQ(session.FirstFrame(), 0);
    ASSERT_EQ(session.PitchEnd(), session.EndFrame()) << "estimates to the end of the take";
    const std::vector<PitchEstimate> expected = TrackPitch(sound.data(), sound.size(), session.EndFrame());
    int64_t voiced = 0;
    for (int64_t f = 0; f < session.EndFrame(); ++f) {
        const PitchEstimate& e = expected[static_cast<size_t>(f)];
        // Kept to 1/64 Hz; the glide moves 0.06 Hz a frame.
        ASSERT_EQ(session.Pitch(f) > 0.0f, e.voiced) << "frame " << f << " of " << session.EndFrame();
        ASSERT_NEAR(session.Pitch(f), e.voiced ? e.f0Hz : 0.0f, 1.0 / 128) << "frame " << f;
        voiced += e.voiced ? 1 : 0;
    }
    EXPECT_GT(voiced, session.EndFrame() / 2);

    view->OnScrollTo(liveRight - 299 - session.FirstFrame());
    view->OnPaint();
    ASSERT_TRUE(view->IsLookingBack());
    ASSERT_EQ(view->FrameAtColumn(299), liveRight);
    EXPECT_EQ(WhiteLinePixels(*view), liveLine);

    // The readout names the frame under the pointer, and goes when it leaves.
    view->OnPointerMove(150, 50);
    EXPECT_NE(host.status[3].find(" s"), std::string::npos) << host.status[3];
    view->OnPointerLeave();
    EXPECT_EQ(host.status[3], "");
    view->SetPitchLine(false);
    EXPECT_EQ(view->ShownRgb(), view->SurfaceRgb());
}

// A new refresh rate clears the picture and so ends looking back: the status
// bar no longer says "Looking back".
TEST_F(ViewTest, ANewRefreshRateEndsLookingBackInTheStatusBarToo)
{
    Make(ViewOptions{false});
    RecordThenPause(8);
    view->OnKey(ViewKey::Home);
    ASSERT_EQ(host.status[0], "Looking back");
    host.answer = {"15", "3", 1, 1};
    view->OnConfigure();
    EXPECT_FALSE(view->IsLookingBack());
    EXPECT_EQ(host.status[0], "Paused");
    // The cleared picture shows no frame, so no pitch line is drawn over it.
    EXPECT_EQ(view->FrameAtColumn(view->SurfaceWidth() - 1), -1);
}

// The Input group: the dialog offers the inputs there are now and the kept
// minutes; a new input is handled like a new refresh rate and reaches the
// source; both are stored. A chosen input that is missing at Start is told
// once, in the status bar.
TEST_F(ViewTest, ChoosingAnInputAndTheMinutesKept)
{
    Make();
    int listed = 0;
    view->SetInputLister([&listed] {
        ++listed;
        return std::vector<InputChoice>{{"mic-1", "Desk microphone"}, {"mic-2", "Headset"}};
    });
    view->OnStart();
    host.answer = host.offered;
    host.answer.refresh = "10";
    host.answer.sampling = "3";
    host.answer.input = "mic-2";
    host.answer.history = "5";
    view->OnConfigure();
    EXPECT_EQ(listed, 1);
    EXPECT_EQ(host.offered.inputs.size(), 2u);
    EXPECT_EQ(host.offered.input, "");
    EXPECT_EQ(host.offered.history, "30");
    EXPECT_FALSE(view->IsRecording()) << "a new input pauses, as a new refresh rate does";
    EXPECT_EQ(source->input, "mic-2");
    EXPECT_EQ(host.status[1], "Headset");
    EXPECT_EQ(view->Session().LimitMinutes(), 5);

    source->inputMissing = true;
    view->OnStart();
    EXPECT_EQ(host.status[1], "Default input (\"Headset\" is missing)");
    view->OnPause();
    host.status[1] = "";
    view->OnStart();
    EXPECT_EQ(host.status[1], "") << "told once";
    view->OnPause();
    view.reset();
    EXPECT_EQ(store.GetProfileString("config", "input", "?"), "mic-2");
    EXPECT_EQ(store.GetProfileInt("history", "minutes", 0), 5);
}

}  // namespace
}  // namespace vocalume

namespace vocalume {
namespace {

// A file longer than the session keeps opens with its last minutes, and the
// user is told so once.
TEST_F(ViewTest, AnOpenedFileLongerThanTheSessionKeepsSaysWhatIsShown)
{
    store.WriteProfileInt("history", "minutes", 1);
    Make(ViewOptions{false});
    SessionHistory file(120);
    file.BeginEra(0);
    const std::vector<int16_t> silence(11 * 1000);
    for (int64_t end = 1000; end <= 70 * 1000; end += 1000)
        file.Recorded(silence.data(), static_cast<int32_t>(silence.size()), end);
    view->AdoptSession(std::move(file));
    EXPECT_GT(view->Session().FirstFrame(), 0);
    EXPECT_EQ(view->Session().EndFrame(), 70 * 1000);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].rfind("Only the last minute of the recording is shown", 0), 0u) << host.messages[0];
}

// P while paused plays the session from the left edge or the column clicked;
// the play line is drawn over a copy of the picture, never into it, moves
// with the sound, turns the page at the right edge; Esc stops it, Space
// stops it and records. Without an output P says so in the status bar.
TEST_F(ViewTest, PlayingBackFollowsTheSoundOverThePicture)
{
    Make(ViewOptions{false});
    RecordThenPause(8);
    view->OnPaint();
    view->OnChar('p');
    EXPECT_EQ(host.status[0], "Cannot play: no sound output device was found");
    EXPECT_FALSE(view->IsPlaying());

    auto owned = std::make_unique<FakeSoundOutput>();
    FakeSoundOutput& output = *owned;
    view->SetSoundOutput(std::move(owned));
    const size_t bytes = view->Surface().Stride() * static_cast<size_t>(view->SurfaceHeight());
    const std::vector<uint8_t> paused(view->SurfaceRgb(), view->SurfaceRgb() + bytes);
    const SessionHistory& session = view->Session();
    const int64_t left = view->FrameAtColumn(1) - 1;

    view->OnChar('p');
    ASSERT_TRUE(view->IsPlaying());
    EXPECT_EQ(host.status[0], "Playing");
    EXPECT_EQ(host.playTimer, 1000 / view->RefreshRate()) << "the line moves as often as the picture";
    ASSERT_TRUE(output.samples);
    EXPECT_EQ(*output.samples, session.Sound());
    EXPECT_EQ(output.from, left * 11 - session.FirstSample());
    EXPECT_EQ(view->FrameAtColumn(0), left) << "the paused picture stays";

    // Frame left + 40 is heard: the line is in column 40 of what is shown.
    output.heard = (left + 40) * 11 - session.FirstSample() + 5;
    view->OnPlayTimer();
    view->OnPaint();
    const size_t stride = view->ShownStride();
    for (int x : {39, 40, 41}) {
        const uint8_t* pixel = view->ShownRgb() + stride * 50 + static_cast<size_t>(x) * 3;
        EXPECT_EQ(pixel[0] == 255 && pixel[1] == 255 && pixel[2] == 255, x == 40) << x;
    }
    EXPECT_EQ(std::vector<uint8_t>(view->SurfaceRgb(), view->SurfaceRgb() + bytes), paused)
        << "the line is never drawn into the picture";
    // The line moves on; the window shows only the stretch between the two
    // columns anew, where the old line is gone.
    output.heard += 20 * 11;
    view->OnPlayTimer();
    view->OnPaint(40, 60);
    const uint8_t* old = view->ShownRgb() + stride * 50 + 40 * 3;
    const uint8_t* now = view->ShownRgb() + stride * 50 + 60 * 3;
    EXPECT_TRUE(old[0] != 255 || old[1] != 255 || old[2] != 255);
    EXPECT_TRUE(now[0] == 255 && now[1] == 255 && now[2] == 255);

    // Home, then a click in column 100: P plays from that frame; past the
    // right edge the page turns by the window's width.
    view->OnChar(27);
    EXPECT_FALSE(view->IsPlaying());
    EXPECT_EQ(host.playTimer, 0);
    view->OnKey(ViewKey::Home);
    const int64_t home = view->FrameAtColumn(0);
    view->OnPictureClick(100, 10);
    view->OnChar('p');
    EXPECT_EQ(output.from, (home + 100) * 11 - session.FirstSample());
    output.heard = (home + 300) * 11 - session.FirstSample();
    view->OnPlayTimer();
    EXPECT_EQ(view->FrameAtColumn(0), home + 300);
    view->OnPaint();
    const uint8_t* pixel = view->ShownRgb() + stride * 50;
    EXPECT_TRUE(pixel[0] == 255 && pixel[1] == 255 && pixel[2] == 255);

    // The end of the sound: the line goes, the picture is the retained one.
    output.finished = true;
    view->OnPlayTimer();
    view->OnPaint();
    EXPECT_FALSE(view->IsPlaying());
    EXPECT_EQ(view->ShownRgb(), view->SurfaceRgb());

    // With a model shown above the session, the line crosses the session's
    // lane only.
    view->SetModel(session, "model.wav");
    view->OnKey(ViewKey::Home);
    view->OnChar('p');
    output.heard = (view->FrameAtColumn(0) + 50) * 11 - session.FirstSample();
    view->OnPlayTimer();
    view->OnPaint();
    ASSERT_GT(view->ShownHeight(), view->SurfaceHeight());
    auto white = [&](int y) {
        const uint8_t* p = view->ShownRgb() + view->ShownStride() * static_cast<size_t>(y) + 50 * 3;
        return p[0] == 255 && p[1] == 255 && p[2] == 255;
    };
    EXPECT_TRUE(white(view->ShownHeight() - 1));
    EXPECT_TRUE(white(view->ShownHeight() - view->SurfaceHeight()));
    EXPECT_FALSE(white(view->ShownHeight() - view->SurfaceHeight() - 1)) << "the lanes' separator";
    view->OnChar(27);
    // With the pitch line on, the readout reads the lane under the pointer.
    view->SetPitchLine(true);
    view->OnPointerMove(150, 2);
    EXPECT_EQ(host.status[3].rfind("Model: ", 0), 0u) << host.status[3];
    view->OnPointerMove(150, view->ShownHeight() - 2);
    EXPECT_NE(host.status[3].find(" s"), std::string::npos) << host.status[3];
    EXPECT_NE(host.status[3].rfind("Model: ", 0), 0u) << host.status[3];
    view->SetPitchLine(false);
    // Shift+P plays the model, from the model frame at the column clicked,
    // with the line over the model's lane only.
    view->OnPictureClick(30, 10);
    view->OnChar('P');
    ASSERT_TRUE(view->IsPlaying());
    EXPECT_EQ(host.status[0], "Playing the model");
    const int64_t modelLeft = view->ModelFrameAtColumn(0);
    ASSERT_GE(modelLeft, 0);
    EXPECT_EQ(output.from, (modelLeft + 30) * 11);
    output.heard = (modelLeft + 50) * 11;
    view->OnPlayTimer();
    view->OnPaint();
    EXPECT_TRUE(white(0));
    EXPECT_FALSE(white(view->ShownHeight() - 1));
    view->OnChar(27);
    view->CloseModel();

    // Space while playing stops it and records again.
    view->OnChar('p');
    ASSERT_TRUE(view->IsPlaying());
    const int stops = output.stops;
    view->OnChar(' ');
    EXPECT_FALSE(view->IsPlaying());
    EXPECT_EQ(output.stops, stops + 1);
    EXPECT_TRUE(view->IsRecording());
    view->OnChar('p');
    EXPECT_FALSE(view->IsPlaying()) << "not while recording";
    view->OnPause();
}

}  // namespace
}  // namespace vocalume
