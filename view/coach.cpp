#include "coach.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <ctime>
#include <utility>

#include "pitch_line.h"
#include "progress_log.h"
#include "tiny_font.h"
#include "voice_features.h"

namespace vocalume {
namespace {

constexpr Rgb kInk{255, 255, 255};
constexpr Rgb kEdge{0, 0, 0};
constexpr Rgb kPanelBack{0, 0, 0};
constexpr int32_t kPanelShare = 160;  // in 256ths: the picture shows through a little
constexpr int32_t kPanelScale = 2;
constexpr int32_t kPanelMargin = 6;
// Rows of the take's lane the marks take, from its top.
constexpr int32_t kMarkRows = 5;
constexpr const char* kDash = "\xE2\x80\x93";  // for a score that could not be worked out

// `value` with `decimals` decimals, or a dash.
std::string Shown(double value, int32_t decimals, const char* dash = kDash)
{
    const std::string text = FormatScore(value, decimals);
    return text.empty() ? std::string(dash) : text;
}

std::string Signed(double value)
{
    const std::string text = FormatScore(value, 0);
    return text.empty() || value < 0.0 ? text : "+" + text;
}

std::string Capitals(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

constexpr Difference kDifferences[] = {Difference::PitchOff, Difference::Missing, Difference::Added, Difference::Louder,
                                       Difference::Quieter};

}  // namespace

Rgb DifferenceColour(Difference kind)
{
    switch (kind) {
    case Difference::PitchOff: return kModelPitchColour;
    case Difference::Missing: return Rgb{255, 60, 60};
    case Difference::Added: return Rgb{80, 160, 255};
    case Difference::Louder: return Rgb{255, 255, 255};
    case Difference::Quieter: return Rgb{150, 150, 150};
    }
    return kInk;
}

const char* DifferenceName(Difference kind)
{
    switch (kind) {
    case Difference::PitchOff: return "pitch off";
    case Difference::Missing: return "sound missing";
    case Difference::Added: return "sound added";
    case Difference::Louder: return "louder";
    case Difference::Quieter: return "quieter";
    }
    return "";
}

Coach::Coach(const SessionHistory& session, Lanes& lanes, const ViewSettings& settings)
    : m_session(session), m_lanes(lanes), m_settings(settings)
{}

Coach::~Coach() = default;

void Coach::TakeEnded()
{
    Forget();
    const SessionHistory* model = m_lanes.Model();
    if (model == nullptr || !m_lanes.HasTake() || m_lanes.TakeStart() < m_session.FirstFrame() ||
        m_session.EndFrame() <= m_lanes.TakeStart())
        return;
    if (!m_model)
        m_model = std::make_shared<const TakeSound>(CopyTake(*model, model->FirstFrame(), model->EndFrame()));
    m_takeFirst = m_lanes.TakeStart();
    // Only the take's sound is copied, never the whole session.
    TakeSound take = CopyTake(m_session, m_takeFirst, m_session.EndFrame());
    take.pitchFromLiveLine = true;
    m_job = std::make_unique<TakeReviewJob>(std::move(take), m_model);
    if (m_host != nullptr)
        m_host->SetReviewTimer(kReviewTimerMs);
}

bool Coach::Poll()
{
    if (!m_job || !m_job->Done())
        return false;
    m_review = m_job->Result();
    m_job.reset();
    if (m_host != nullptr)
        m_host->KillReviewTimer();
    m_logFailure.clear();
    // A take that held no sound has nothing to keep.
    if (m_review.done && !m_logPath.empty() && m_review.scores.takeSeconds > 0.0)
        m_logFailure =
            AppendProgress(m_logPath, {LocalTimeText(std::time(nullptr)), m_lanes.ModelName(), m_review.scores});
    ApplyTiming();
    return true;
}

void Coach::Forget()
{
    if (m_job && m_host != nullptr)
        m_host->KillReviewTimer();
    // A review still running is asked to stop; it does within milliseconds.
    m_job.reset();
    m_review = TakeReview{};
    m_logFailure.clear();
    ApplyTiming();
}

void Coach::ModelChanged()
{
    Forget();
    m_model.reset();
}

void Coach::ApplyTiming()
{
    const bool follow =
        m_settings.followTiming && Review() != nullptr && m_lanes.HasTake() && m_lanes.TakeStart() == m_takeFirst;
    m_lanes.FollowTiming(follow ? &m_review.alignment.modelFrame : nullptr);
}

std::string Coach::StatusText() const
{
    if (!m_logFailure.empty())
        return "The scores could not be kept: " + m_logFailure;
    const TakeReview* review = Review();
    if (review == nullptr)
        return {};
    const TakeScores& s = review->scores;
    return "Pitch " + Shown(s.pitchCents, 0) + " ct, melody " + Shown(s.pitchCorrelation, 2) + " \xC2\xB7 length " +
           Shown(s.lengthRatio, 2) + ", uneven " + Shown(s.stretchUnevenness, 0) + " % \xC2\xB7 loudness " +
           Shown(s.loudnessCorrelation, 2) + " \xC2\xB7 balance " + Shown(s.spectralBalanceDb, 1) + " dB";
}

std::vector<std::string> Coach::PanelLines() const
{
    const TakeReview* review = Review();
    if (review == nullptr)
        return {};
    const TakeScores& s = review->scores;
    const std::string offset = Signed(s.pitchOffsetCents);
    return {
        "PITCH " + Shown(s.pitchCents, 0, "-") + " CT",
        "ABOVE " + (offset.empty() ? std::string("-") : offset + " CT"),
        "MELODY " + Shown(s.pitchCorrelation, 2, "-"),
        "LENGTH " + Shown(s.lengthRatio, 2, "-"),
        "UNEVEN " + Shown(s.stretchUnevenness, 0, "-") + "%",
        "LOUDNESS " + Shown(s.loudnessCorrelation, 2, "-"),
        "BALANCE " + Shown(s.spectralBalanceDb, 1, "-") + " DB",
    };
}

void CoachMarks::Draw(const Canvas& canvas)
{
    const TakeReview& review = *m_coach.Review();
    PixelImage lane = canvas.SessionLane();
    const int64_t first = m_coach.TakeFirst();
    const std::vector<double>& timing = review.alignment.modelFrame;
    const auto frames = static_cast<int64_t>(timing.size());
    if (m_settings.pitchLine) {
        // The model's melody where the take said the same sounds.
        const SessionHistory& model = *m_lanes.Model();
        m_lineColumns.assign(static_cast<size_t>(lane.width), PitchEstimate{});
        for (int32_t x = 0; x < lane.width; ++x) {
            const int64_t k = m_lookingBack.FrameAt(x) - first;
            if (k < 0 || k >= frames)
                continue;
            const int64_t frame = std::llround(timing[static_cast<size_t>(k)]);
            if (!model.HasFrame(frame) || frame >= model.PitchEnd())
                continue;
            const float f0 = model.Pitch(frame);
            m_lineColumns[static_cast<size_t>(x)] = PitchEstimate{f0, f0 > 0.0f};
        }
        DrawPitchLineOnly(lane, m_lineColumns.data(), kModelPitchColour);
    }
    for (int32_t x = 0; x < lane.width && !review.differences.empty(); ++x) {
        const int64_t k = m_lookingBack.FrameAt(x) - first;
        const auto at = std::upper_bound(review.differences.begin(), review.differences.end(), k,
                                         [](int64_t f, const DifferingStretch& d) { return f < d.endFrame; });
        if (at == review.differences.end() || k < at->firstFrame)
            continue;
        for (int32_t y = 0; y < kMarkRows; ++y)
            lane.Set(x, y, y == kMarkRows - 1 ? kEdge : DifferenceColour(at->kind));
    }
}

void ScorePanel::Draw(const Canvas& canvas)
{
    const TakeReview& review = *m_coach.Review();
    std::vector<std::string> lines = m_coach.PanelLines();
    // The key: a swatch for each kind of difference marked in this take.
    std::vector<Difference> kinds;
    for (const Difference kind : kDifferences)
        if (std::any_of(review.differences.begin(), review.differences.end(),
                        [kind](const DifferingStretch& d) { return d.kind == kind; })) {
            kinds.push_back(kind);
            lines.push_back(Capitals(DifferenceName(kind)));
        }
    const int32_t lineHeight = (kTinyGlyphHeight + 2) * kPanelScale;
    const int32_t swatch = kTinyGlyphHeight * kPanelScale;
    int32_t width = 0;
    for (const std::string& line : lines)
        width = std::max(width, TinyTextWidth(line, kPanelScale));
    width += swatch + 3 * kPanelMargin;
    const int32_t height = static_cast<int32_t>(lines.size()) * lineHeight + kPanelMargin;
    PixelImage lane = canvas.SessionLane();
    const int32_t left = kPanelMargin, top = kMarkRows + kPanelMargin;
    for (int32_t y = top; y < top + height; ++y)
        for (int32_t x = left; x < left + width; ++x)
            lane.Blend(x, y, kPanelBack, kPanelShare);
    const size_t scores = lines.size() - kinds.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        const int32_t y = top + kPanelMargin + static_cast<int32_t>(i) * lineHeight;
        if (i >= scores) {
            for (int32_t dy = 0; dy < swatch; ++dy)
                for (int32_t dx = 0; dx < swatch; ++dx)
                    lane.Set(left + kPanelMargin + dx, y + dy, DifferenceColour(kinds[i - scores]));
        }
        DrawTinyText(lane, left + 2 * kPanelMargin + swatch, y, lines[i], kInk, kEdge, kPanelScale);
    }
}

}  // namespace vocalume
