// The view's commands, keys, timer and Configure logic against an in-memory
// host and a scripted sound source, with a real worker thread on a core of
// the test's own.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "analysis_view.h"
#include "analysis_worker.h"
#include "column_painter.h"
#include "column_surface.h"
#include "fake_sound_output.h"
#include "fake_view_host.h"
#include "file_commands.h"
#include "framer.h"
#include "pitch_line.h"
#include "pitch_tracker.h"
#include "progress_log.h"
#include "scripted_source.h"
#include "session_history.h"
#include "session_picture.h"
#include "suggested_name.h"
#include "target_note.h"
#include "wave_in.h"

#include <sndfile.h>
#include <unistd.h>

namespace vocalume {
namespace {

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
        // As the window's Save recording: to the path the user would choose.
        host.saveAs = [this] { return view->SaveRecording(savePath).empty(); };
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
    MemorySettingsStore store;
    FakeHost host;
    ScriptedSoundSource* source = nullptr;
    std::unique_ptr<CAnalysisView> view;
    std::string savePath;
};

TEST_F(ViewTest, NoStoredSettingsGiveTheDefaults)
{
    Make();
    EXPECT_EQ(view->Settings().refresh, 10);
    EXPECT_EQ(core->undersampling.load(), 3);
    EXPECT_EQ(view->Framing().m_framesPerBuffer, 104);
    EXPECT_EQ(view->Framing().m_samplesPerBuffer, 1144);
    EXPECT_FALSE(view->IsRecording());
    EXPECT_FALSE(core->WorkerHeld());
}

// A view given settings that cannot work frames and analyses with the
// defaults instead.
TEST_F(ViewTest, SettingsThatCannotWorkAreReplacedByTheDefaults)
{
    ViewSettings given;
    given.refresh = 0;
    given.sampling = -4;
    CAnalysisView v(given, *core, std::make_unique<ScriptedSoundSource>());
    EXPECT_EQ(v.Settings().refresh, 10);
    EXPECT_EQ(core->undersampling.load(), 3);
    EXPECT_EQ(v.Framing().m_framesPerBuffer, 104);
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

TEST_F(ViewTest, SettingsAreWrittenBackOnDestruction)
{
    store.WriteProfileInt("config", "sampling", 5);
    Make();
    host.answer = {"20", "5", 0, 1, 1};  // refresh 20, timescale 0, waveform 1, colour-blind
    view->OnConfigure();
    view->OnStart();
    const std::shared_ptr<int> closes = source->closesSeen;
    view.reset();
    source = nullptr;  // went with the view
    const ViewSettings stored = ViewSettings::Load(store);
    EXPECT_EQ(stored.refresh, 20);
    EXPECT_EQ(stored.sampling, 5);
    EXPECT_EQ(stored.waveform, 1);
    EXPECT_EQ(stored.timescale, 0);
    EXPECT_EQ(stored.palette, Palette::ColourBlind);
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

// Open recording, the model and Export frame data decide alike for every
// host: recording stops before the question, a kept recording starts no
// work, a cancelled or failed analysis changes nothing but says why it
// failed, and the export takes the session's sound as it stands.
TEST_F(ViewTest, FileCommandsAskAndTellAlikeForEveryHost)
{
    Make();
    EXPECT_FALSE(CanExportFrames(*view, host));
    EXPECT_EQ(host.messages.back(), "The session holds no sound yet: there are no frames to export.");

    view->OnStart();
    FeedBuffer();
    host.saveAnswer = SaveAnswer::Cancel;
    EXPECT_FALSE(BeginOpenRecording(*view, "a.wav"));
    EXPECT_EQ(host.saveQuestions, 1);
    EXPECT_FALSE(view->IsRecording());
    host.saveAnswer = SaveAnswer::DontSave;
    const std::optional<FileWork> work = BeginOpenRecording(*view, "a.wav");
    ASSERT_TRUE(work);
    EXPECT_EQ(work->label, "Opening a.wav");
    EXPECT_TRUE(work->options.session);
    EXPECT_EQ(work->options.keepMinutes, view->Settings().historyMinutes);

    const int64_t kept = view->Session().EndSample();
    ASSERT_GT(kept, 0);
    const size_t told = host.messages.size();
    EndOpenRecording(*view, host, kAnalysisStopped, SessionHistory(1), "a.wav");
    EndOpenModel(*view, host, kAnalysisStopped, SessionHistory(1), "m.wav", "/m.wav");
    EXPECT_EQ(host.messages.size(), told);
    EndOpenRecording(*view, host, "", std::nullopt, "a.wav");
    EXPECT_EQ(host.messages.back(), "The file holds no sound.");
    EndOpenModel(*view, host, "", std::nullopt, "m.wav", "/m.wav");
    EXPECT_EQ(host.messages.back(), "The model could not be opened. The file m.wav holds no sound.");
    // A model remembered from the last run is one note, not a box.
    EndOpenModel(*view, host, "It is gone.", std::nullopt, "m.wav", "/m.wav", true);
    EXPECT_EQ(host.status[StatusField::Model], "The remembered model could not be opened. It is gone.");
    EXPECT_EQ(host.messages.size(), told + 2);
    EXPECT_EQ(view->Session().EndSample(), kept);
    EXPECT_FALSE(view->HasModel());

    ASSERT_TRUE(CanExportFrames(*view, host));
    EXPECT_EQ(BeginExportFrames(*view).sound.Size(), kept - view->Session().FirstSample());
    EndExportFrames(host, "the disk is full");
    EXPECT_EQ(host.messages.back(), "The frame data could not be exported: the disk is full");
}

// The view's share of Start, Pause and the timer (the device, the worker
// and the timer itself are the recording control's): Start clears what the
// ring has drawn and repaints everything, a Start while recording does
// nothing, and the end of a pause draws everything again.
TEST_F(ViewTest, StartAndTheEndOfAPauseRedrawThePicture)
{
    Make();
    MarkAllDrawn(core->ring);
    view->OnStart();
    EXPECT_TRUE(view->IsRecording());
    EXPECT_TRUE(AllDrawnCleared(core->ring));
    EXPECT_EQ(view->Surface().InvalidBounds(), view->Surface().ClientRect());
    EXPECT_GT(host.paintRequests, 0);

    // Start while recording: nothing at all, not even a paint request.
    MarkAllDrawn(core->ring);
    const int painted = host.paintRequests;
    view->OnStart();
    EXPECT_EQ(host.paintRequests, painted);
    EXPECT_EQ(source->opens, 1);
    EXPECT_EQ(core->ring[0].drawn.load(), 1);

    // Pause, Esc or Pause again while pausing: one timer.
    view->OnPause();
    view->OnPause();
    view->OnChar(27);
    EXPECT_EQ(host.timerSets, std::vector<int>{500});
    view->OnTimer();
    EXPECT_GT(host.paintRequests, painted);
    EXPECT_TRUE(AllDrawnCleared(core->ring));
    EXPECT_FALSE(core->WorkerHeld());
    view->OnStart();
    EXPECT_TRUE(core->WorkerHeld()) << "the next Start begins a new worker";
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
        EXPECT_GT(host.paintRequests, before);
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
    EXPECT_TRUE(host.timerSet);
    EXPECT_EQ(core->ring.WritePosition(), written);

    view->OnChar(' ');
    EXPECT_TRUE(view->IsRecording());
    EXPECT_EQ(source->opens, 2);
    EXPECT_EQ(host.messages.size(), 1u);

    // A live device opens after Start has returned: one that then cannot
    // open is told in its own words, and the recording pauses as well.
    source->FailLate("Failed to open record device: it did not answer");
    view->OnWimData();
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[1], "Failed to open record device: it did not answer. Press space to try again.");
    EXPECT_FALSE(view->IsRecording());
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
    EXPECT_EQ(view->Fields().m_showWaveform, 0);
    EXPECT_EQ(view->Fields().m_showTimescale, 0);
    EXPECT_GT(host.paintRequests, before);
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
    EXPECT_EQ(core->undersampling.load(), 1);
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
    EXPECT_EQ(view->Settings().refresh, 25);
    EXPECT_EQ(view->Framing().m_framesPerBuffer, 40);
    EXPECT_EQ(view->Framing().m_samplesPerBuffer, 440);
    EXPECT_GT(host.paintRequests, 0);
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
    EXPECT_EQ(view->Settings().timescale, 0);
    EXPECT_EQ(view->Settings().waveform, 1);
    EXPECT_GT(host.paintRequests, before);
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
    EXPECT_EQ(view->Settings().refresh, 10);
    EXPECT_EQ(core->undersampling.load(), 3);
    EXPECT_EQ(view->Settings().waveform, 1);
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
    EXPECT_EQ(view->Settings().refresh, 15);
    EXPECT_EQ(core->undersampling.load(), 3);
    EXPECT_TRUE(view->IsRecording());  // nothing changed that needs a pause
    EXPECT_EQ(view->Settings().waveform, 0);
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
    EXPECT_GT(host.paintRequests, before);
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
    const int64_t liveRight = view->FrameAtColumn(299);
    view->OnKey(ViewKey::Home);
    EXPECT_EQ(view->FrameAtColumn(299), liveRight) << "not while recording";
    EXPECT_EQ(host.status[StatusField::State], "Recording");
    view->OnPause();
    view->OnKey(ViewKey::Home);
    EXPECT_EQ(view->FrameAtColumn(299), liveRight) << "not before the pause has completed";
    view->OnTimer();
    view->OnPaint();
    EXPECT_EQ(host.status[StatusField::State], "Paused");
    EXPECT_TRUE(host.scrollBar) << "8 buffers of frames are more than 300 columns";
    const size_t bytes = view->Surface().Stride() * static_cast<size_t>(view->Surface().Height());
    const std::vector<uint8_t> paused(view->Surface().Pixels(), view->Surface().Pixels() + bytes);

    view->OnKey(ViewKey::Home);
    view->OnPaint();
    EXPECT_EQ(host.status[StatusField::State], "Looking back");
    EXPECT_EQ(host.scrollPosition, 0);
    EXPECT_NE(std::vector<uint8_t>(view->Surface().Pixels(), view->Surface().Pixels() + bytes), paused);
    view->OnKey(ViewKey::Right);
    view->OnWheel(-3);
    view->OnKey(ViewKey::End);
    view->OnPaint();
    EXPECT_EQ(std::vector<uint8_t>(view->Surface().Pixels(), view->Surface().Pixels() + bytes), paused);

    const SessionHistory& session = view->Session();
    const std::vector<int16_t> sound = session.Sound().ToVector();
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
    EXPECT_EQ(host.status[StatusField::State], "Paused");

    // Unsaved sound: "Save the recording?" before it goes. Cancel keeps it,
    // and so does a save that fails or is cancelled; Save that succeeds, or
    // Don't save, let it go. Recording pauses first.
    const auto recordSome = [this] {
        view->OnStart();
        FeedBuffer();
        FeedBuffer();
    };
    recordSome();
    host.saveAnswer = SaveAnswer::Cancel;
    EXPECT_FALSE(view->NewSession());
    EXPECT_EQ(host.saveQuestions, 1);
    EXPECT_FALSE(view->IsRecording());
    const int64_t kept = view->Session().EndFrame();
    EXPECT_GT(kept, 0);
    host.saveAnswer = SaveAnswer::Save;
    savePath = ::testing::TempDir() + "/no-such-folder/take.wav";
    EXPECT_FALSE(view->NewSession());
    EXPECT_EQ(view->Session().EndFrame(), kept);
    savePath = path;
    EXPECT_TRUE(view->NewSession());
    EXPECT_EQ(host.saveQuestions, 3);
    EXPECT_EQ(view->Session().EndFrame(), 0);
    EXPECT_TRUE(std::filesystem::exists(path));
    std::remove(path.c_str());
    recordSome();
    host.saveAnswer = SaveAnswer::DontSave;
    EXPECT_TRUE(view->MayDropSession());
    EXPECT_FALSE(view->IsRecording());
    EXPECT_TRUE(host.questions.empty()) << "the yes-or-no question is not asked";
}

// At four frames a column the live picture is the session's drawn from its
// descriptions, and the position looking back counts frames at any zoom.
TEST_F(ViewTest, ZoomedOutTheLivePictureIsTheSessionsAndThePositionCountsFrames)
{
    store.WriteProfileInt("config", "zoom", 4);
    Make(ViewOptions{false});
    RecordThenPause(30);  // more frames than two screens of 300 columns of 4
    const ColumnSurface& live = view->Surface();
    ColumnSurface drawn(live.Width(), live.Height());
    DrawSessionPicture(view->Session(), view->FrameAtColumn(299), view->Settings().Style(), drawn);
    EXPECT_EQ(0, std::memcmp(live.Pixels(), drawn.Pixels(), live.Stride() * live.Height()));

    const int64_t right = view->FrameAtColumn(299);
    view->OnKey(ViewKey::PageUp);
    EXPECT_EQ(view->FrameAtColumn(299), right - 1200);
    const std::string zoomedPosition = host.status[StatusField::Position];
    view->SetZoom(1);
    EXPECT_EQ(host.status[StatusField::Position], zoomedPosition);
    view->ZoomOut();
    view->ZoomOut();
    EXPECT_EQ(view->Settings().zoom, 4);
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
        const uint8_t* kept = view.Surface().Pixels() + i;
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
    EXPECT_FALSE(view->Settings().pitchLine) << "off by default";
    view->OnStart();
    feed(5);
    EXPECT_EQ(view->ShownRgb(), view->Surface().Pixels()) << "line off: the retained picture itself";
    const std::vector<uint8_t> retained(view->Surface().Pixels(),
                                        view->Surface().Pixels() + view->Surface().Stride() * 100);
    view->SetPitchLine(true);
    view->OnPaint();
    EXPECT_NE(view->ShownRgb(), view->Surface().Pixels());
    EXPECT_EQ(std::vector<uint8_t>(view->Surface().Pixels(), view->Surface().Pixels() + retained.size()), retained);
    feed(1);
    const std::vector<size_t> liveLine = WhiteLinePixels(*view);
    const int64_t liveRight = view->FrameAtColumn(299);
    EXPECT_GT(liveLine.size(), 200u);
    EXPECT_NE(host.status[StatusField::Readout].find(" Hz \xC2\xB7 "), std::string::npos)
        << host.status[StatusField::Readout];
    feed(5);
    // Refresh 20 starts a new era of the framer; the session goes on.
    host.answer = {"20", "3", 1, 1, 0};
    view->OnConfigure();
    view->OnStart();
    feed(10);
    view->OnPause();
    view->OnTimer();

    const SessionHistory& session = view->Session();
    const std::vector<int16_t> sound = session.Sound().ToVector();
    ASSERT_EQ(session.FirstFrame(), 0);
    ASSERT_EQ(session.PitchEnd(), session.EndFrame()) << "estimates to the end of the take";
    const std::vector<PitchEstimate> expected = TrackPitch(sound.data(), sound.size(), session.EndFrame());
    int64_t voiced = 0;
    for (int64_t f = 0; f < session.EndFrame(); ++f) {
        const PitchEstimate& e = expected[static_cast<size_t>(f)];
        // Kept to a twelfth of a cent.
        ASSERT_EQ(session.Pitch(f) > 0.0f, e.voiced) << "frame " << f << " of " << session.EndFrame();
        ASSERT_NEAR(session.Pitch(f), e.voiced ? e.f0Hz : 0.0f, e.f0Hz * 5e-5) << "frame " << f;
        voiced += e.voiced ? 1 : 0;
    }
    EXPECT_GT(voiced, session.EndFrame() / 2);

    view->OnScrollTo(liveRight - 299 - session.FirstFrame());
    view->OnPaint();
    ASSERT_EQ(host.status[StatusField::State], "Looking back");
    ASSERT_EQ(view->FrameAtColumn(299), liveRight);
    EXPECT_EQ(WhiteLinePixels(*view), liveLine);

    // The readout names the frame under the pointer, and goes when it leaves.
    view->OnPointerMove(150, 50);
    EXPECT_NE(host.status[StatusField::Readout].find(" s"), std::string::npos) << host.status[StatusField::Readout];
    view->OnPointerLeave();
    EXPECT_EQ(host.status[StatusField::Readout], "");
    view->SetPitchLine(false);
    EXPECT_EQ(view->ShownRgb(), view->Surface().Pixels());

    // A target chosen turns the line on, on whose scale it is drawn; a
    // cancelled dialog changes nothing.
    host.targetAnswer = TargetValues{57 - kLowestTargetNote + 1, 2};
    view->ChooseTargetNote();
    EXPECT_TRUE(view->Settings().pitchLine);
    EXPECT_EQ(view->Settings().targetNote, 57);
    view->OnPaint();
    const int32_t row = PitchLineRow(220.0, view->ShownHeight());
    EXPECT_EQ(view->ShownRgb()[view->ShownStride() * static_cast<size_t>(row) + 3 * 20 + 2], 0) << "yellow";
    host.targetAnswer.reset();
    view->ChooseTargetNote();
    EXPECT_EQ(view->Settings().targetNote, 57);
}

// A new refresh rate clears the picture and so ends looking back: the status
// bar no longer says "Looking back".
TEST_F(ViewTest, ANewRefreshRateEndsLookingBackInTheStatusBarToo)
{
    Make(ViewOptions{false});
    RecordThenPause(8);
    view->OnKey(ViewKey::Home);
    ASSERT_EQ(host.status[StatusField::State], "Looking back");
    host.answer = {"15", "3", 1, 1};
    view->OnConfigure();
    EXPECT_EQ(host.status[StatusField::State], "Paused");
    // The cleared picture shows no frame, so no pitch line is drawn over it.
    EXPECT_EQ(view->FrameAtColumn(view->Surface().Width() - 1), -1);
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
    EXPECT_EQ(host.status[StatusField::Input], "Headset");
    EXPECT_EQ(view->Session().LimitMinutes(), 5);

    // Known only once the device has opened, which its first buffer shows.
    view->OnStart();
    source->inputMissing = true;
    FeedBuffer();
    EXPECT_EQ(host.status[StatusField::Input], "Default input (\"Headset\" is missing)");
    view->OnPause();
    host.status[StatusField::Input] = "";
    view->OnStart();
    EXPECT_EQ(host.status[StatusField::Input], "") << "told once";
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

// Whether the shown picture is white at (x, y).
bool ShownWhite(const CAnalysisView& view, int x, int y)
{
    const uint8_t* p = view.ShownRgb() + view.ShownStride() * static_cast<size_t>(y) + static_cast<size_t>(x) * 3;
    return p[0] == 255 && p[1] == 255 && p[2] == 255;
}

// P while paused plays the session (where from, and the page turning, are
// the playback's own tests): the state says so, the line moves as often as
// the picture scrolls, over a copy of the picture and never into it, each
// step painting the stretch it moved over; Esc stops it, and so does the
// end. Without an output P says so in the state field.
TEST_F(ViewTest, PlayingBackDrawsTheLineOverACopyOfThePicture)
{
    Make(ViewOptions{false});
    RecordThenPause(8);
    view->OnPaint();
    view->OnChar('p');
    EXPECT_EQ(host.status[StatusField::State], "Cannot play: no sound output device was found");
    EXPECT_FALSE(view->IsPlaying());

    auto owned = std::make_unique<FakeSoundOutput>();
    FakeSoundOutput& output = *owned;
    view->SetSoundOutput(std::move(owned));
    const size_t bytes = view->Surface().Stride() * static_cast<size_t>(view->Surface().Height());
    const std::vector<uint8_t> paused(view->Surface().Pixels(), view->Surface().Pixels() + bytes);
    const SessionHistory& session = view->Session();
    const int64_t left = view->FrameAtColumn(1) - 1;
    view->OnChar('p');
    ASSERT_TRUE(view->IsPlaying());
    EXPECT_EQ(host.status[StatusField::State], "Playing");
    EXPECT_EQ(host.playTimer, 1000 / view->Settings().refresh) << "the line moves as often as the picture";
    EXPECT_EQ(output.samples.ToVector(), session.Sound().ToVector());
    EXPECT_EQ(view->FrameAtColumn(0), left) << "the paused picture stays";

    // Frame left + 40 is heard: the line is in column 40 of what is shown.
    output.heard = (left + 40) * 11 - session.FirstSample() + 5;
    view->OnPlayTimer();
    view->OnPaint();
    for (int x : {39, 40, 41})
        EXPECT_EQ(ShownWhite(*view, x, 50), x == 40) << x;
    EXPECT_EQ(std::vector<uint8_t>(view->Surface().Pixels(), view->Surface().Pixels() + bytes), paused)
        << "the line is never drawn into the picture";
    // The line moves on; the window shows only the stretch between the two
    // columns anew, where the old line is gone.
    output.heard += 20 * 11;
    view->OnPlayTimer();
    view->OnPaint(40, 60);
    EXPECT_FALSE(ShownWhite(*view, 40, 50));
    EXPECT_TRUE(ShownWhite(*view, 60, 50));

    view->OnChar(27);
    EXPECT_FALSE(view->IsPlaying());
    EXPECT_EQ(host.playTimer, 0);
    EXPECT_EQ(host.status[StatusField::State], "Paused") << "at the live end: the paused picture";
    view->OnChar('p');
    output.finished = true;
    view->OnPlayTimer();
    view->OnPaint();
    EXPECT_FALSE(view->IsPlaying());
    EXPECT_EQ(view->ShownRgb(), view->Surface().Pixels()) << "the line gone, the retained picture itself";
    EXPECT_EQ(host.status[StatusField::State], "Paused") << "played to its end: no reason";
    // An output that stops answering (or goes away) while playing ends it,
    // and the state's field says why rather than going quietly back.
    view->OnChar('p');
    output.finished = true;
    output.problem = "the sound output stopped answering";
    view->OnPlayTimer();
    EXPECT_FALSE(view->IsPlaying());
    EXPECT_EQ(host.status[StatusField::State], "Cannot play: the sound output stopped answering");
    output.problem.clear();
}

// With a model shown above the session, P draws the line across the
// session's lane and Shift+P across the model's; the readout reads the lane
// under the pointer.
TEST_F(ViewTest, WithAModelTheLineAndTheReadoutKeepToTheirLanes)
{
    Make(ViewOptions{false});
    RecordThenPause(8);
    auto owned = std::make_unique<FakeSoundOutput>();
    FakeSoundOutput& output = *owned;
    view->SetSoundOutput(std::move(owned));
    const SessionHistory& session = view->Session();
    view->SetModel(session, "model.wav");
    view->OnKey(ViewKey::Home);
    view->OnChar('p');
    output.heard = (view->FrameAtColumn(0) + 50) * 11 - session.FirstSample();
    view->OnPlayTimer();
    view->OnPaint();
    const int sessionTop = view->ShownHeight() - view->Surface().Height();
    ASSERT_GT(sessionTop, 0);
    EXPECT_TRUE(ShownWhite(*view, 50, view->ShownHeight() - 1));
    EXPECT_TRUE(ShownWhite(*view, 50, sessionTop));
    EXPECT_FALSE(ShownWhite(*view, 50, sessionTop - 1)) << "the lanes' separator";
    view->OnChar(27);

    view->SetPitchLine(true);
    view->OnPointerMove(150, 2);
    EXPECT_EQ(host.status[StatusField::Readout].rfind("Model: ", 0), 0u) << host.status[StatusField::Readout];
    view->OnPointerMove(150, view->ShownHeight() - 2);
    EXPECT_NE(host.status[StatusField::Readout].find(" s"), std::string::npos);
    EXPECT_NE(host.status[StatusField::Readout].rfind("Model: ", 0), 0u);
    view->SetPitchLine(false);

    // The model is the session, whose one take began at its frame 0: the
    // model lane shows the very frames the session lane shows.
    view->OnPictureClick(30, 10);
    view->OnChar('P');
    ASSERT_TRUE(view->IsPlaying());
    EXPECT_EQ(host.status[StatusField::State], "Playing the model");
    const int64_t modelLeft = view->FrameAtColumn(0);
    EXPECT_EQ(output.from, (modelLeft + 30) * 11);
    output.heard = (modelLeft + 50) * 11;
    view->OnPlayTimer();
    view->OnPaint();
    EXPECT_TRUE(ShownWhite(*view, 50, 0));
    EXPECT_FALSE(ShownWhite(*view, 50, view->ShownHeight() - 1));
}

// A take ended with a model shown is reviewed in the background: the pause
// returns at once, the review timer brings the scores to the status bar and
// the panel and adds them to the progress log; Start puts them away. The
// model is the first take, so the second, the same voice, matches it.
TEST_F(ViewTest, ATakeEndedWithAModelIsReviewedInTheBackground)
{
    char folder[] = "/tmp/vocalume-coach-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string log = std::string(folder) + "/progress.csv";
    Make(ViewOptions{false, true, log});
    auto state = std::make_unique<AnalyserState>();
    const auto take = [&](int buffers) {
        GlidingVoice voice;
        view->OnStart();
        for (int i = 0; i < buffers; ++i) {
            source->Deliver(voice.Next(view->WaveIn().m_bufferBytes / 4));
            view->OnWimData();
            core->ScanUntilIdle(*state);
        }
        view->OnPause();
    };
    take(12);
    EXPECT_EQ(host.reviewTimer, 0) << "no model, no review";
    view->OnTimer();
    view->SetModel(view->Session(), "model.wav");
    ASSERT_TRUE(view->NewSession());
    take(12);
    EXPECT_EQ(host.reviewTimer, 20);
    EXPECT_TRUE(host.status[StatusField::Scores].empty());
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (view->ReviewingTake() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        view->OnReviewTimer();
    }
    ASSERT_FALSE(view->ReviewingTake());
    EXPECT_EQ(host.reviewTimer, 0);
    EXPECT_EQ(host.status[StatusField::Scores].rfind("Pitch 0 ct, melody 1.00", 0), 0u)
        << host.status[StatusField::Scores];
    std::vector<ProgressEntry> entries;
    EXPECT_EQ(ReadProgress(log, entries), "");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].model, "model.wav");
    EXPECT_NEAR(entries[0].scores.lengthRatio, 1.0, 0.02);

    // The panel is drawn over the take's lane, never into the retained picture.
    view->OnPaint();
    const int sessionTop = view->ShownHeight() - view->Surface().Height();
    const size_t laneBytes = view->Surface().Stride() * static_cast<size_t>(view->Surface().Height());
    const uint8_t* shown = view->ShownRgb() + view->ShownStride() * static_cast<size_t>(sessionTop);
    EXPECT_NE(std::vector<uint8_t>(shown, shown + laneBytes),
              std::vector<uint8_t>(view->Surface().Pixels(), view->Surface().Pixels() + laneBytes));
    const std::string report = std::string(folder) + "/report.html";
    EXPECT_EQ(view->WriteProgressReport(report), "");
    EXPECT_TRUE(std::filesystem::is_regular_file(report));

    view->OnStart();
    EXPECT_TRUE(host.status[StatusField::Scores].empty());
    view->OnPause();
    view->CloseModel();
    EXPECT_FALSE(view->ReviewingTake()) << "a review of a model closed is given up";
    std::filesystem::remove_all(folder);
}

// Space while playing stops it and records; P does nothing while recording.
TEST_F(ViewTest, SpaceWhilePlayingStopsItAndRecords)
{
    Make(ViewOptions{false});
    RecordThenPause(2);
    auto owned = std::make_unique<FakeSoundOutput>();
    FakeSoundOutput& output = *owned;
    view->SetSoundOutput(std::move(owned));
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

// Records `buffers` buffers of the gliding voice, the analysis scanned here,
// then pauses until the pause timer has fired.
void RecordVoiceThenPause(CAnalysisView& view, ScriptedSoundSource& source, AnalysisCore& core, int buffers)
{
    auto state = std::make_unique<AnalyserState>();
    GlidingVoice voice;
    view.OnStart();
    for (int i = 0; i < buffers; ++i) {
        source.Deliver(voice.Next(view.WaveIn().m_bufferBytes / 4));
        view.OnWimData();
        core.ScanUntilIdle(*state);
        view.OnPaint();
    }
    view.OnPause();
    view.OnTimer();
}

// White pixels of the pitch line left of the labels at the right edge.
size_t LineLeftOfLabels(const CAnalysisView& view)
{
    size_t count = 0;
    for (const size_t i : WhiteLinePixels(view))
        count += i % view.ShownStride() / 3 < static_cast<size_t>(view.ShownWidth() * 3 / 4) ? 1 : 0;
    return count;
}

// A Configure that clears the live picture leaves it black at its live end:
// End after it draws no piece of the old pitch line over the black.
TEST_F(ViewTest, ThePictureClearedByConfigureShowsNoOldPitchLineAtEnd)
{
    Make(ViewOptions{false});
    view->SetPitchLine(true);
    RecordVoiceThenPause(*view, *source, *core, 8);
    view->OnPaint();
    ASSERT_GT(LineLeftOfLabels(*view), 100u);
    host.answer = view->Settings().ToDialog();
    host.answer.input = "Headset";
    view->OnConfigure();
    view->OnPaint();
    view->OnKey(ViewKey::End);
    view->OnPaint();
    EXPECT_EQ(view->FrameAtColumn(view->Surface().Width() - 1), -1);
    EXPECT_EQ(LineLeftOfLabels(*view), 0u);
}

// Pixels of the model lane that are not black.
size_t LitInModelLane(const CAnalysisView& view)
{
    size_t lit = 0;
    const int modelRows = view.ShownHeight() - view.Surface().Height() - 1;
    for (size_t i = 0; i < view.ShownStride() * static_cast<size_t>(std::max(modelRows, 0)); ++i)
        lit += view.ShownRgb()[i] != 0 ? 1 : 0;
    return lit;
}

// The model lane moves with the session's lane in an opened recording, its
// frame k beside the recording's frame k; a model opened after a take shows
// beside the take at End.
TEST_F(ViewTest, TheModelLaneFollowsAnOpenedRecordingAndAFinishedTake)
{
    Make(ViewOptions{false});
    RecordVoiceThenPause(*view, *source, *core, 8);
    SessionHistory take = view->Session();
    view->SetModel(take, "model.wav");
    view->OnKey(ViewKey::End);
    view->OnPaint();
    EXPECT_GT(LitInModelLane(*view), 1000u) << "a model opened after a take";

    view->AdoptSession(take);
    view->OnPaint();
    const std::vector<uint8_t> atHome(view->ShownRgb(), view->ShownRgb() + view->ShownStride() * 20);
    view->OnKey(ViewKey::End);
    view->OnPaint();
    EXPECT_NE(std::vector<uint8_t>(view->ShownRgb(), view->ShownRgb() + view->ShownStride() * 20), atHome)
        << "the model lane moved to the recording's end";
    const int64_t right = view->FrameAtColumn(299);
    view->SetPitchLine(true);
    view->OnPointerMove(299, 2);
    const std::string modelReadout = host.status[StatusField::Readout];
    view->OnPointerMove(299, view->ShownHeight() - 2);
    EXPECT_EQ("Model: " + host.status[StatusField::Readout], modelReadout) << "frame " << right;
}

// A session without sound is not saved, and the user is told; a save names
// the file in the status bar and the window's title, as opening one does.
TEST_F(ViewTest, SavingSaysWhatItDidAndAnEmptySessionIsRefused)
{
    Make(ViewOptions{false});
    const std::string path = ::testing::TempDir() + "/take-" + std::to_string(::getpid()) + ".wav";
    EXPECT_EQ(view->SaveRecording(path).rfind("The session holds no sound yet", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(path));
    RecordThenPause(2);
    ASSERT_EQ(view->SaveRecording(path), "");
    const std::string name = std::filesystem::path(path).filename().string();
    EXPECT_EQ(host.status[StatusField::State], "Saved " + name);
    EXPECT_EQ(host.title, name);
    std::remove(path.c_str());
    SessionHistory opened = view->Session();
    view->AdoptSession(std::move(opened), "lesson.flac");
    EXPECT_EQ(host.title, "lesson.flac");
    EXPECT_TRUE(view->NewSession());
    EXPECT_EQ(host.title, "");
}

// Until the first take the empty picture says how to start; a model's lane
// and the session's are named.
TEST_F(ViewTest, TheEmptyPictureHintsTheKeysAndTheLanesAreNamed)
{
    Make(ViewOptions{false});
    ASSERT_EQ(view->PictureTexts().size(), 1u);
    EXPECT_EQ(view->PictureTexts()[0].text, kFirstTakeHint);
    EXPECT_TRUE(view->PictureTexts()[0].centred);
    view->OnStart();
    EXPECT_TRUE(view->PictureTexts().empty()) << "gone once recording";
    FeedBuffer();
    view->OnPause();
    view->OnTimer();
    EXPECT_TRUE(view->PictureTexts().empty()) << "after the first take";
    view->SetModel(view->Session(), "model.wav");
    const std::vector<PictureText> texts = view->PictureTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].text, "Model");
    EXPECT_EQ(texts[1].text, "You");
    EXPECT_GT(texts[1].y, texts[0].y + view->ShownHeight() / 3) << "in the session's lane, below the model's";
}

// The save dialog suggests a name of the date and minute; the file dialogs
// open where a file was last chosen, remembered between runs.
TEST_F(ViewTest, FileDialogsSuggestADatedNameAndRememberTheFolder)
{
    std::tm noon{};
    noon.tm_year = 2026 - 1900;
    noon.tm_mon = 11;
    noon.tm_mday = 8;
    noon.tm_hour = 14;
    noon.tm_min = 2;
    noon.tm_isdst = -1;
    EXPECT_EQ(SuggestedRecordingName(std::mktime(&noon)), "vocalume-2026-12-08-1402.wav");
    Make();
    EXPECT_EQ(view->FileFolder(), "") << "the home folder the first time";
    view->RememberFileFolder("/home/ann/takes/take.wav");
    view.reset();
    Make();
    EXPECT_EQ(view->FileFolder(), "/home/ann/takes");
}

}  // namespace
}  // namespace vocalume
