// The session: everything recorded since the first Start (or the last New
// session), kept so that the user can look back through it and save it. It
// holds the sound that was analysed (the left channel at the recording rate)
// and, for every frame cut from it, the description of the column it showed.
// The oldest part is dropped once the session holds more than its limit.
//
// Frames are numbered from 0 at the session's start, whatever the framer's own
// numbering does: a Configure change resets the ring and its frame numbers, but
// the session goes on. Each such stretch of the framer's numbering is an era;
// within an era the framer's frame i starts i - first frames after the era's
// first frame, and its sound `hop` samples after the one before.
//
// User-interface thread only.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "column_description.h"
#include "column_painter.h"

namespace vocalume {

inline constexpr int32_t kSessionRate = 11025;

class SessionHistory final : public ColumnRecorder {
public:
    // Keeps at most `minutes` minutes of frames and of sound.
    explicit SessionHistory(int32_t minutes, int32_t hop = 11);

    void SetLimitMinutes(int32_t minutes);
    int32_t LimitMinutes() const { return m_minutes; }

    // Forgets everything: a new, empty session.
    void Clear();

    // The framer's numbering starts again at `firstIndex` (a ring reset): the
    // next frame cut continues the session where it stands.
    void BeginEra(int64_t firstIndex);
    // Sound was dropped (the ring was full): the framer's frame `nextIndex`
    // begins at the next sample recorded, not a hop after the last frame.
    void Resynchronise(int64_t nextIndex);
    // The framer took `samples` (appended to the kept sound) and cut frames
    // up to (not including) its frame number `endIndex`.
    void Recorded(const int16_t* samples, int32_t count, int64_t endIndex);

    // ColumnRecorder: the painter drew the framer's frame `frameIndex`.
    void Keep(int64_t frameIndex, const ColumnDescription& column) override;

    // Frames kept: [FirstFrame, EndFrame), in session numbering. Frames that
    // were cut but never drawn describe a black column.
    int64_t FirstFrame() const { return m_firstFrame; }
    int64_t EndFrame() const { return m_firstFrame + static_cast<int64_t>(m_columns.size()); }
    bool HasFrame(int64_t frame) const { return frame >= FirstFrame() && frame < EndFrame(); }
    const ColumnDescription& Column(int64_t frame) const;

    // Sound kept: samples [FirstSample, EndSample) in session numbering.
    int64_t FirstSample() const { return m_firstSample; }
    int64_t EndSample() const { return m_firstSample + static_cast<int64_t>(m_sound.size()); }
    // Copies the kept sound in order.
    std::vector<int16_t> Sound() const;
    // The session's sample at which frame `frame` begins.
    int64_t SampleOfFrame(int64_t frame) const;

    // The session holds sound that has not been saved since it was recorded.
    bool HasUnsavedSound() const { return m_unsaved; }
    void MarkSaved() { m_unsaved = false; }

    // Bytes the session's storage takes now, roughly (for the status and the
    // measurement of memory per minute).
    size_t BytesUsed() const;

private:
    struct Era {
        int64_t firstIndex;   // the framer's number of the era's first frame
        int64_t firstFrame;   // its session number
        int64_t firstSample;  // the session sample the era's first frame starts at
        bool newNumbering;    // the framer's numbers started again here
    };
    void AddEra(int64_t firstIndex, bool newNumbering);
    const Era* EraOf(int64_t frameIndex) const;
    void DropOldest();

    int32_t m_minutes;
    int32_t m_hop;
    std::deque<ColumnDescription> m_columns;
    std::deque<int16_t> m_sound;
    int64_t m_firstFrame = 0;
    int64_t m_firstSample = 0;
    std::vector<Era> m_eras;
    int64_t m_nextIndex = 0;  // the framer's number of the next frame it cuts
    bool m_unsaved = false;
};

}  // namespace vocalume
