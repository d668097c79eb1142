#include "take_review.h"

#include <algorithm>
#include <utility>

namespace vocalume {

TakeReview ReviewTake(const TakeSound& take, const TakeSound& model, const std::atomic<bool>* stop)
{
    TakeReview review;
    const int64_t compared = std::min(FramesCompared(model.frames), take.frames);
    const std::vector<float> wholePitch =
        take.pitchFromLiveLine ? WholeSoundPitch(take, compared) : std::vector<float>{};
    const VoiceFeatures attempt =
        wholePitch.empty()
            ? MeasureVoice(take, compared, stop)
            : MeasureVoice(take.sound.data(), take.sound.size(), wholePitch, compared, take.hop, stop);
    const VoiceFeatures original = MeasureVoice(model, FramesCompared(attempt.frames), stop);
    if (stop != nullptr && stop->load(std::memory_order_relaxed))
        return review;
    review.alignment = AlignTake(attempt, original, stop);
    if (review.alignment.Empty())
        return review;
    // Frames of a long take past those compared match the model's last one.
    review.alignment.modelFrame.resize(static_cast<size_t>(take.frames),
                                       review.alignment.modelFrame.back());
    review.scores = ScoreTake(attempt, original, review.alignment);
    review.differences = DifferingStretches(attempt, original, review.alignment);
    review.done = true;
    return review;
}

#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
// The browser edition's page has no threads: the review is made at once, a
// few tens of milliseconds for a take of seconds.
TakeReviewJob::TakeReviewJob(TakeSound take, std::shared_ptr<const TakeSound> model)
    : m_take(std::move(take)), m_model(std::move(model))
{
    m_review = ReviewTake(m_take, *m_model, &m_stop);
    m_done.store(true, std::memory_order_release);
}

TakeReviewJob::~TakeReviewJob() = default;
#else
TakeReviewJob::TakeReviewJob(TakeSound take, std::shared_ptr<const TakeSound> model)
    : m_take(std::move(take)), m_model(std::move(model)), m_thread([this] {
          m_review = ReviewTake(m_take, *m_model, &m_stop);
          m_done.store(true, std::memory_order_release);
      })
{
}

TakeReviewJob::~TakeReviewJob()
{
    m_stop.store(true, std::memory_order_relaxed);
    m_thread.join();
}
#endif

}  // namespace vocalume
