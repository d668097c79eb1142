// A take's review against the model it imitates: the take aligned to the
// model and its scores, worked out either on the calling thread or, as the
// program does at Pause, on a thread of its own, so that the window never
// waits for it.
//
// Threads: ReviewTake runs on any thread. A TakeReviewJob is made, polled
// and destroyed on one thread (the user-interface thread); its work runs on
// a thread it owns, which reads only what the job was given. Destroying a
// job that has not ended asks its work to stop and waits for it: the work
// looks at the request every thousand steps it measures and every few
// hundred it aligns, a few milliseconds apart.
#pragma once

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "take_alignment.h"
#include "take_scores.h"
#include "voice_features.h"

namespace vocalume {

struct TakeReview {
    TakeAlignment alignment;
    TakeScores scores;
    // Where the take differs most from the model.
    std::vector<DifferingStretch> differences;
    // False when the review was stopped or either take holds no frame.
    bool done = false;
};

// Measures as much of each take as the other needs, aligns and scores. Stops
// early, not done, when `stop` is raised.
TakeReview ReviewTake(const TakeSound& take, const TakeSound& model, const std::atomic<bool>* stop = nullptr);

class TakeReviewJob {
public:
    // Starts the review of `take` against `model`, which nobody changes while
    // the job holds it.
    TakeReviewJob(TakeSound take, std::shared_ptr<const TakeSound> model);
    ~TakeReviewJob();
    TakeReviewJob(const TakeReviewJob&) = delete;
    TakeReviewJob& operator=(const TakeReviewJob&) = delete;

    // True once the review has ended; then Result may be read.
    bool Done() const { return m_done.load(std::memory_order_acquire); }
    const TakeReview& Result() const { return m_review; }

private:
    TakeSound m_take;
    std::shared_ptr<const TakeSound> m_model;
    TakeReview m_review;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_done{false};
    std::thread m_thread;  // last: starts once everything it reads is ready
};

}  // namespace vocalume
