// The session: everything recorded since the first Start (or the last New
// session), kept so that the user can look back through it and save it. It
// holds the sound that was analysed (the left channel at the recording rate)
// and, for every frame cut from it, the description of the column it showed.
// The oldest part is dropped once the session holds more than its limit.
//
// Frames are numbered from 0 at the session's start, whatever the framer's own
// numbering does: a Configure change resets the ring and its frame numbers, but
// the session goes on. Each such stretch of the framer's numbering is an era;
// only the current era's frames are still in the ring to be drawn.
// Every frame brings the `hop` samples by which it advanced on the one before,
// so the session's frame f begins at its sample f * hop, and the kept sound is
// exactly the sound that was analysed, in order. Only an opened file's sound
// may end elsewhere than at its last frame's end (see TrimTo). The sound is
// kept in chunks that never change once full, so that handing it out (to
// play, save or export it) copies no more than the chunk being filled.
//
// User-interface thread only.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "column_description.h"
#include "column_painter.h"
#include "sound_chunks.h"

namespace vocalume {

// The session keeps each frame's f0 in two bytes on a musical scale: steps of
// 1/8192 octave (under a sixth of a cent) up from kSessionPitchLowHz, to
// about 5 kHz, far above any voice; 0 stands for unvoiced.
inline constexpr int32_t kSessionPitchSteps = 8192;  // per octave
inline constexpr float kSessionPitchLowHz = 20.0f;

// Samples in each full chunk of the kept sound (about 1.5 s).
inline constexpr int64_t kSoundChunkSamples = 16384;

class SessionHistory final : public ColumnRecorder {
public:
    // Keeps at most `minutes` minutes of frames and of sound.
    explicit SessionHistory(int32_t minutes, int32_t hop = kFrameHop);
    // A whole session changes hands by moving (an opened file's session
    // becomes the view's).
    SessionHistory(SessionHistory&&) = default;
    SessionHistory& operator=(SessionHistory&&) = default;
    SessionHistory(const SessionHistory&) = default;
    SessionHistory& operator=(const SessionHistory&) = default;

    void SetLimitMinutes(int32_t minutes);
    int32_t LimitMinutes() const { return m_minutes; }

    // Forgets everything: a new, empty session.
    void Clear();
    // Forgets the frames from `endFrame` on and the sound from their first
    // sample on (the silence a file's analysis ran on after its end).
    void TrimTo(int64_t endFrame);
    // Forgets the frames from `endFrame` on and the sound from session
    // sample `endSample` on: an opened file keeps its own sound exactly, its
    // last samples too, though they begin no frame of their own. Sound
    // recorded on after it begins at the next frame's first sample.
    void TrimTo(int64_t endFrame, int64_t endSample);

    // The framer's numbering starts again at `firstIndex` (a ring reset): the
    // next frame cut continues the session where it stands.
    void BeginEra(int64_t firstIndex);
    // The framer cut frames up to (not including) its frame number
    // `endIndex`, advancing by `samples` (`count`, a hop for each new frame).
    void Recorded(const int16_t* samples, int32_t count, int64_t endIndex);

    // ColumnRecorder: the painter drew the framer's frame `frameIndex`.
    void Keep(int64_t frameIndex, const ColumnDescription& column) override;

    // The session number of the framer's frame `frameIndex` of the current
    // era (it may lie outside the frames kept).
    int64_t FrameOf(int64_t frameIndex) const { return m_eraFirstFrame + (frameIndex - m_eraFirstIndex); }
    // The session number of the current era's first frame.
    int64_t EraFirstFrame() const { return m_eraFirstFrame; }

    // Frames kept: [FirstFrame, EndFrame), in session numbering. Frames that
    // were cut but never drawn describe a black column.
    int64_t FirstFrame() const { return m_firstFrame; }
    int64_t EndFrame() const { return m_firstFrame + static_cast<int64_t>(m_columns.size()); }
    bool HasFrame(int64_t frame) const { return frame >= FirstFrame() && frame < EndFrame(); }
    const ColumnDescription& Column(int64_t frame) const;

    // Sound kept: samples [FirstSample, EndSample) in session numbering.
    int64_t FirstSample() const { return m_firstFrame * m_hop; }
    int64_t EndSample() const { return FirstSample() + SoundSize(); }
    // The kept sound in order: the full chunks shared, the one being filled
    // copied.
    SoundChunks Sound() const;
    // Copies the kept samples [from, to) of the session's numbering; samples
    // the session does not keep are left out.
    std::vector<int16_t> SoundBetween(int64_t from, int64_t to) const;
    // The pitch of each kept frame (the tracker's f0 in Hz, 0 when unvoiced),
    // written as the estimates come, some frames behind the newest one, and
    // kept to a twelfth of a cent (see kSessionPitchSteps). Frames
    // [FirstFrame, PitchEnd) have one; Pitch is 0 for the others.
    void SetPitch(int64_t frame, float f0Hz);
    float Pitch(int64_t frame) const;
    int64_t PitchEnd() const { return m_pitchEnd; }

    // The session's sample at which frame `frame` begins.
    int64_t SampleOfFrame(int64_t frame) const { return frame * m_hop; }
    int32_t Hop() const { return m_hop; }

    // The session holds sound that has not been saved since it was recorded.
    bool HasUnsavedSound() const { return m_unsaved; }
    void MarkSaved() { m_unsaved = false; }

    // Bytes the session's storage takes now, roughly (for the status and the
    // measurement of memory per minute).
    size_t BytesUsed() const;

private:
    void DropOldest();
    int64_t SoundSize() const;
    // The sound goes on with `count` samples; the oldest `count` go.
    void KeepSound(const int16_t* samples, int64_t count);
    // The sound ends after its first `count` samples (none when it is no
    // longer).
    void CutSound(int64_t count);
    void DropSound(int64_t count);

    int32_t m_minutes;
    int32_t m_hop;
    std::deque<ColumnDescription> m_columns;
    // The kept sound: full chunks of kSoundChunkSamples, the first
    // `m_soundSkip` samples of the first dropped, then the chunk being
    // filled.
    std::deque<SoundChunks::Chunk> m_soundChunks;
    int64_t m_soundSkip = 0;
    std::vector<int16_t> m_soundTail;
    // One f0 per column in steps of kSessionPitchSteps, dropped and cleared
    // with them (two bytes a frame: memory per minute matters); m_pitchEnd is
    // the session number of the first frame with no estimate yet.
    std::deque<uint16_t> m_pitch;
    int64_t m_pitchEnd = 0;
    int64_t m_firstFrame = 0;
    // The current era: the framer's number of its first frame (none before
    // the first BeginEra) and that frame's session number.
    bool m_inEra = false;
    int64_t m_eraFirstIndex = 0;
    int64_t m_eraFirstFrame = 0;
    int64_t m_nextIndex = 0;  // the framer's number of the next frame it cuts
    bool m_unsaved = false;
};

}  // namespace vocalume
