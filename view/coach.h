// The coach in the view: when a take ends (Pause) with a model shown, the
// take is reviewed against the model on a thread of its own (aligned and
// scored, see take_review.h), and the view polls for the result on its review
// timer, so that the window never waits for it. Once it is there, its scores
// are told in the status bar and a panel over the picture and added to the
// progress log, the model lane may follow the take's timing, and two layers
// draw over the take's lane: the model's pitch line on the take's time axis,
// in a colour of its own beside the take's, and the stretches where the two
// differ most, marked along the top of the lane with a colour for each kind.
// A Start, a new session or another model puts the review away.
//
// Threads: user-interface thread only; the review's own thread reads only
// copies of the two takes. The session, the lanes, the looking back and the
// settings are the view's and outlive this; the host, once attached, too.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "compositor.h"
#include "lanes.h"
#include "looking_back.h"
#include "pitch_tracker.h"
#include "session_history.h"
#include "take_review.h"
#include "view_host.h"
#include "view_settings.h"

namespace vocalume {

// How often the view looks whether the review has ended.
inline constexpr int kReviewTimerMs = 20;

// The colour of the model's pitch line over the take's lane, and of each
// kind of difference marked along it.
inline constexpr Rgb kModelPitchColour{255, 170, 0};
Rgb DifferenceColour(Difference kind);
const char* DifferenceName(Difference kind);

class Coach {
public:
    Coach(const SessionHistory& session, Lanes& lanes, const ViewSettings& settings);
    ~Coach();
    Coach(const Coach&) = delete;
    Coach& operator=(const Coach&) = delete;

    void Attach(ViewHost* host) { m_host = host; }
    // Where every take's scores are added; empty: nowhere.
    void SetProgressLog(const std::string& path) { m_logPath = path; }

    // The take that began at the lanes' take start ended with the session's
    // last frame: its review begins in the background. Nothing happens
    // without a model or a take, or for a take whose start the session no
    // longer keeps.
    void TakeEnded();
    // True when the review just arrived (the review timer fired): its scores
    // are logged, and the caller shows them.
    bool Poll();
    // The review shown, or running, is put away (a Start, a new session).
    void Forget();
    // Another model, or none: the same, and the model's copy goes too.
    void ModelChanged();

    bool Reviewing() const { return m_job != nullptr; }
    // The latest take's review, once it arrived; null before, or when put away.
    const TakeReview* Review() const { return m_review.done ? &m_review : nullptr; }
    // The session frame where the reviewed take begins.
    int64_t TakeFirst() const { return m_takeFirst; }
    // The model lane follows the take's timing when the setting says so and
    // a review is there; plain timing otherwise.
    void ApplyTiming();

    // The status bar's scores field: the scores in a line, or why they could
    // not be kept; empty without a review.
    std::string StatusText() const;
    // The panel's lines (capitals, as the picture's font has them).
    std::vector<std::string> PanelLines() const;

private:
    const SessionHistory& m_session;
    Lanes& m_lanes;
    const ViewSettings& m_settings;
    ViewHost* m_host = nullptr;
    std::string m_logPath;
    std::string m_logFailure;
    // The model's sound and pitch, copied once for every review against it.
    std::shared_ptr<const TakeSound> m_model;
    std::unique_ptr<TakeReviewJob> m_job;
    int64_t m_takeFirst = 0;
    TakeReview m_review;
};

// Over the take's lane: the model's pitch line on the take's time axis (while
// the pitch line is on) and the stretches where the take differs most.
class CoachMarks final : public PictureLayer {
public:
    CoachMarks(const Coach& coach, const Lanes& lanes, const LookingBack& lookingBack, const ViewSettings& settings)
        : m_coach(coach), m_lanes(lanes), m_lookingBack(lookingBack), m_settings(settings)
    {}
    bool Shown() const override { return m_coach.Review() != nullptr && m_lanes.HasModel(); }
    void Draw(const Canvas& canvas) override;

private:
    const Coach& m_coach;
    const Lanes& m_lanes;
    const LookingBack& m_lookingBack;
    const ViewSettings& m_settings;
    std::vector<PitchEstimate> m_lineColumns;
};

// The panel of the take's scores, top left over the take's lane, with a key
// to the colours of the marks.
class ScorePanel final : public PictureLayer {
public:
    explicit ScorePanel(const Coach& coach) : m_coach(coach) {}
    bool Shown() const override { return m_coach.Review() != nullptr; }
    void Draw(const Canvas& canvas) override;

private:
    const Coach& m_coach;
};

}  // namespace vocalume
