// The model lane against the session lane: which model frame stands beside
// which session frame while recording and looking back, that closing the model
// leaves the picture of a view that never had one, and opening model files.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "analysis_view.h"
#include "analysis_worker.h"
#include "column_painter.h"
#include "column_surface.h"
#include "fake_view_host.h"
#include "lanes.h"
#include "model_lane.h"
#include "parts_rig.h"
#include "scripted_source.h"
#include "session_history.h"
#include "sound_files.h"
#include "wave_in.h"

namespace vocalume {
namespace {

// A view recording from a scripted source, its analysis scanned on the
// test's own thread so that two such views draw the same pictures.
struct Rig {
    explicit Rig(MemorySettingsStore& store)
    {
        auto owned = std::make_unique<ScriptedSoundSource>();
        source = owned.get();
        view = std::make_unique<CAnalysisView>(store, *core, std::move(owned), ViewOptions{false});
        view->OnCreate(host);
        view->OnSize(300, 101);
    }
    void Buffers(int n)
    {
        for (int i = 0; i < n; ++i) {
            source->DeliverCounting(view->WaveIn().m_bufferBytes / 4);
            view->OnWimData();
            core->ScanUntilIdle(*state);
            view->OnPaint();
        }
    }
    void PauseFully()
    {
        view->OnPause();
        view->OnTimer();
        view->OnPaint();
    }
    std::vector<uint8_t> Shown() const
    {
        return {view->ShownRgb(), view->ShownRgb() + view->ShownStride() * static_cast<size_t>(view->ShownHeight())};
    }

    std::unique_ptr<AnalysisCore> core = std::make_unique<AnalysisCore>();
    std::unique_ptr<AnalyserState> state = std::make_unique<AnalyserState>();
    FakeHost host;
    ScriptedSoundSource* source = nullptr;
    std::unique_ptr<CAnalysisView> view;
};

// Checks the shown picture: the model lane holds, column by column, the model
// frame `takeStart` frames before the session frame below it (black where
// the model has none); then the separator, then the session.
void ExpectLanes(const Rig& rig, const SessionHistory& model, int64_t takeStart, const char* when)
{
    SCOPED_TRACE(when);
    const CAnalysisView& view = *rig.view;
    const LaneSplit split = SplitLanes(101);
    ASSERT_EQ(view.ShownWidth(), 300);
    ASSERT_EQ(view.ShownHeight(), 101);
    ASSERT_EQ(view.Surface().Height(), split.lower);
    const int64_t right = view.FrameAtColumn(299);
    ASSERT_GE(right, 0);

    ColumnSurface expected(300, split.upper);
    const ColumnGeometry g = GeometryForHeight(split.upper);
    std::vector<uint8_t> column(static_cast<size_t>(kColumnBufferRows) * 4);
    BeamCosines cosines;
    ColumnDescription blank;
    blank.flags = ColumnDescription::kNoTrace;
    int shownFrames = 0;
    int blackColumns = 0;
    expected.BeginPaint();
    for (int x = 0; x < 300; ++x) {
        const int64_t wanted = right - (299 - x) - takeStart;
        const int64_t frame = model.HasFrame(wanted) ? wanted : -1;
        shownFrames += frame >= 0 ? 1 : 0;
        blackColumns += frame < 0 ? 1 : 0;
        DrawColumnDescription(frame >= 0 ? model.Column(frame) : blank, g, ColumnStyle{}, cosines, column.data());
        expected.DrawColumn(x, column.data(), g.h);
    }
    expected.EndPaint();
    EXPECT_GT(shownFrames, 20);
    EXPECT_GT(blackColumns, 10);

    const uint8_t* shown = view.ShownRgb();
    const size_t stride = view.ShownStride();
    EXPECT_EQ(0, std::memcmp(shown, expected.Pixels(), stride * static_cast<size_t>(split.upper)));
    for (int x = 0; x < 300; ++x) {
        const uint8_t* p = shown + stride * static_cast<size_t>(split.upper) + 3 * static_cast<size_t>(x);
        ASSERT_EQ((Rgb{p[0], p[1], p[2]}), kLaneSeparator) << x;
    }
    EXPECT_EQ(0, std::memcmp(shown + stride * static_cast<size_t>(split.upper + 1), view.Surface().Pixels(),
                             stride * static_cast<size_t>(split.lower)));
}

// A first take, then a model and a second take: the model begins beside the
// second take's first frame and is drawn a strip at a time as the session
// scrolls; looking back moves both lanes together.
TEST(ModelLane, TheModelStandsBesideTheLatestTakeLiveAndLookingBack)
{
    MemorySettingsStore store;
    Rig rig(store);
    rig.view->OnStart();
    rig.Buffers(3);
    rig.PauseFully();

    const SessionHistory model = NumberedSession(250);
    rig.view->SetModel(model, "model.wav");
    EXPECT_EQ(rig.host.status[StatusField::Model], "Model: model.wav");
    const int64_t takeStart = rig.view->Session().EndFrame();
    rig.view->OnStart();
    rig.Buffers(4);
    ExpectLanes(rig, model, takeStart, "recording");

    rig.PauseFully();
    rig.view->OnKey(ViewKey::Home);
    rig.view->OnPaint();
    ASSERT_EQ(rig.view->FrameAtColumn(0), 0) << "looking back from the session's start";
    ExpectLanes(rig, model, takeStart, "looking back from the start");
    rig.view->OnKey(ViewKey::Right);
    rig.view->OnPaint();
    ExpectLanes(rig, model, takeStart, "a tenth further");
}

// Following a take's timing, each of the take's frames shows the model frame
// the alignment gives, the model goes on at its own pace after the take, and
// the column of a model frame is the first that shows it or a later one.
TEST(ModelLane, FollowingTheTakesTimingAndBack)
{
    ModelLane lane;
    lane.Set(NumberedSession(250), "model.wav", "");
    lane.Resize(10, 20);
    lane.TakeBegins(100);
    const std::vector<double> timing{0.0, 0.2, 0.4, 1.0, 2.0, 4.1, 5.9, 8.0};
    lane.FollowTiming(&timing);
    std::vector<int64_t> shown;
    for (int32_t x = 0; x < 10; ++x)
        shown.push_back(lane.ModelFrameAt(x, 107));
    EXPECT_EQ(shown, (std::vector<int64_t>{-1, -1, 0, 0, 0, 1, 2, 4, 6, 8}));
    EXPECT_EQ(lane.ModelFrameAt(9, 109), 10) << "after the take, at the model's own pace";
    EXPECT_EQ(lane.ColumnOf(4, 107), 7);
    EXPECT_EQ(lane.ColumnOf(5, 107), 8);
    EXPECT_EQ(lane.ColumnOf(10, 107), 11);
    lane.FollowTiming(nullptr);
    EXPECT_EQ(lane.ModelFrameAt(9, 107), 7);
}

// With the model closed, recording and looking back show byte for byte what
// a view fed the same sound without ever having a model shows.
TEST(ModelLane, ClosingTheModelLeavesThePictureOfAViewThatNeverHadOne)
{
    MemorySettingsStore store;
    MemorySettingsStore twinStore;
    Rig rig(store);
    Rig twin(twinStore);
    const auto both = [&](auto step) {
        step(rig);
        step(twin);
    };
    rig.view->SetModel(NumberedSession(400), "model.wav");
    both([](Rig& r) {
        r.view->OnStart();
        r.Buffers(3);
    });
    rig.view->CloseModel();
    EXPECT_EQ(rig.host.status[StatusField::Model], "");
    both([](Rig& r) { r.Buffers(2); });
    EXPECT_EQ(rig.view->ShownHeight(), 101);
    EXPECT_EQ(rig.Shown(), twin.Shown()) << "recording";
    EXPECT_EQ(rig.view->ShownRgb(), rig.view->Surface().Pixels()) << "nothing composed without a model";

    both([](Rig& r) {
        r.PauseFully();
        r.view->OnKey(ViewKey::Home);
        r.view->OnPaint();
    });
    rig.view->SetModel(NumberedSession(400), "model.wav");
    rig.view->OnPaint();
    rig.view->CloseModel();
    rig.view->OnPaint();
    EXPECT_EQ(rig.Shown(), twin.Shown()) << "looking back";
}

// A model file is analysed, named in the status bar and remembered; one that
// cannot be read changes nothing; a remembered file is offered again to the
// next view, a vanished one is not, and is not forgotten either.
TEST(ModelLane, ModelFilesAreOpenedRememberedAndRefusedWhole)
{
    testing::TempFolder folder;
    const std::string path = folder.Path("vowel.wav");
    testing::WriteWav(path, 11025, 1, testing::Sine(220.0, 11025, 11025, 0.5));
    const std::string broken = folder.Path("broken.wav");
    testing::WriteWav(broken, 11025, 1, {});
    MemorySettingsStore store;
    {
        Rig rig(store);
        ASSERT_EQ(rig.view->OpenModel(path), "");
        ASSERT_TRUE(rig.view->HasModel());
        const int64_t frames = rig.view->Model()->EndFrame();
        EXPECT_NEAR(static_cast<double>(frames), 1002.0, 40.0) << "about a thousand frames a second";
        EXPECT_EQ(rig.host.status[StatusField::Model], "Model: vowel.wav");

        const std::string failure = rig.view->OpenModel(broken);
        EXPECT_NE(failure.find("broken.wav"), std::string::npos) << failure;
        EXPECT_EQ(rig.view->ModelName(), "vowel.wav");
        EXPECT_EQ(rig.view->Model()->EndFrame(), frames);
    }
    EXPECT_EQ(store.GetProfileString("model", "file", ""), path);
    {
        Rig rig(store);
        ASSERT_EQ(rig.view->RememberedModel(), path);
        std::filesystem::remove(path);
    }
    {
        Rig rig(store);
        EXPECT_EQ(rig.view->RememberedModel(), "") << "its file is gone";
        rig.view->CloseModel();
    }
    EXPECT_EQ(store.GetProfileString("model", "file", "?"), path) << "kept while its file is away";
    {
        // One that cannot be opened at start-up is forgotten.
        Rig rig(store);
        rig.view->ForgetRememberedModel();
    }
    EXPECT_EQ(store.GetProfileString("model", "file", "?"), "");
}

// The lanes share the client area; the model's frames stand beside the
// session's from the take's start on, and each column maps back to its
// frame; Shift+P starts at the clicked column's model frame, else at the
// first one the lane shows.
TEST(Lanes, TheModelLaneAboveItsFramesBesideTheTakes)
{
    PartsRig rig(1000, 300, 101);
    Lanes& lanes = rig.lanes;
    EXPECT_EQ(lanes.Rows().sessionHeight, 101);
    lanes.SetModel(NumberedSession(250), "model.wav", "");
    const LaneRows rows = lanes.Rows();
    EXPECT_EQ(rows.modelHeight, 50);
    EXPECT_EQ(rows.sessionTop, 51);
    EXPECT_EQ(rows.sessionHeight, 50);
    EXPECT_TRUE(lanes.InModelLane(49));
    EXPECT_FALSE(lanes.InModelLane(50));

    lanes.TakeBegins(900);
    for (int32_t x : {0, 150, 299}) {
        const int64_t beside = rig.lookingBack.FrameAt(x);
        const int64_t frame = lanes.ModelFrameAt(x);
        EXPECT_EQ(frame, beside - 900 < 250 && beside >= 900 ? beside - 900 : -1) << x;
        if (frame >= 0) {
            EXPECT_EQ(lanes.ColumnOfModelFrame(frame), x);
        }
    }
    EXPECT_EQ(lanes.ModelPlayFrom(250), lanes.ModelFrameAt(250));
    EXPECT_EQ(lanes.ModelPlayFrom(-1), 0) << "the first frame the lane shows";
    lanes.CloseModel();
    EXPECT_EQ(lanes.Rows().sessionHeight, 101);
    EXPECT_EQ(lanes.StatusText(), "");
}

}  // namespace
}  // namespace vocalume
