// The pitch tracker: for every frame of the sound (392 samples every 11 at
// the recording rate, as the framer cuts them) a fundamental frequency in Hz and a
// voiced/unvoiced decision, meant to be read as a number rather than seen as
// bands. It works on the samples alone and never touches the frame records or
// the picture.
//
// Per frame it measures a cumulative-mean-normalised difference function
// around the frame's centre over periods of 9 to 240 samples (about 46 to
// 1225 Hz: a bass's lowest notes to a soprano's or a child's highest), keeps
// the best few period candidates beside an "unvoiced" candidate, and follows
// the cheapest path through them, where a jump of an octave or a change of
// voicing costs more than a wobble. A short period's dip, narrow against the
// step between lags, is read between them from the differences interpolated,
// so that a high note whose fundamental is faint ("ee" sung at C6) is not
// outweighed by twice its period landing on a lag. A period whose half or
// third is about as periodic is the octave below the voice, not the voice;
// a frame of hiss has no period above the range; a frame the picture
// shows as black is unvoiced whatever it holds, and one it shows dim is
// unvoiced live and in a whole sound needs to be nearly perfectly periodic
// to be voiced. The live path is settled a fixed number of frames behind the
// newest one, so the look-ahead past a frame's centre stays under 50 ms.
//
// A whole sound that is there to be read (a file, a recording looked back on)
// can afford to wait: its path is settled only where every path through the
// frames since agrees, which is in practice the next stretch of silence, so
// that the octave of a whole voiced stretch is chosen on all of it. There a
// period whose half is about as periodic is not marked down: a voice heard
// through a telephone, which has lost its fundamental and keeps a strong
// second harmonic, is measured at its own period by the weight of the whole
// stretch, and an octave step by the same weight after it. There, too, a
// dip is forgiven part of the difference that the voice's growing louder or
// softer across the window makes, which would otherwise favour half the
// period wherever a syllable begins or ends; and a voiced stretch too short
// to weigh its octave on is left unvoiced unless it lies near the voice
// heard in the seconds before it, and so is a brief one far above
// the voice heard in the seconds before it, and the creak of a voice that
// falls to the bottom of the range far below where it has been speaking.
//
// The difference function rests on exact integer sums kept up to date as the
// frames move on, so the result is the same bits whether the sums are kept
// up to date or summed afresh, with or without vector instructions, on any
// processor.
//
// Not thread-safe: one tracker belongs to one thread. Nothing is allocated
// per frame once the history buffer has grown to its working size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "recording_format.h"

namespace vocalume {

struct PitchEstimate {
    float f0Hz = 0.0f;    // 0 when unvoiced
    bool voiced = false;
};

class PitchTracker {
public:
    static constexpr int32_t kSampleRate = kRecordingRate;
    static constexpr int32_t kHop = kFrameHop;
    // Sample offset of frame k's centre: 11 k + 196.
    static constexpr int32_t kCentreOffset = kFrameLength / 2;
    // Periods searched: 9 to 240 samples (about 46 to 1225 Hz).
    static constexpr int32_t kMinLag = 9;
    static constexpr int32_t kMaxLag = 240;
    // Samples summed for each lag; the window and its shifted copy together
    // are centred on the frame.
    static constexpr int32_t kWindow = 256;
    // Frames the path is settled behind the newest analysed frame.
    static constexpr int32_t kSettleFrames = 24;
    static constexpr int32_t kCandidates = 6;
    // Samples needed past a frame's centre before it can be analysed.
    static constexpr int32_t kLookAheadSamples = (kWindow + kMaxLag + 2) / 2;

    // How the sums behind the difference function are formed. All give the
    // same bits; the others are there to show that.
    enum class Sums {
        Running,          // kept up to date frame by frame, with vector instructions where there are any
        RunningPortable,  // the same in plain loops
        Afresh,           // summed anew for every frame, as written
    };

    // How far the tracker may look past a frame before its estimate is final.
    enum class Reach {
        Live,        // under 50 ms: the line that follows a voice as it speaks
        WholeSound,  // up to the end of the voiced stretch (at most kLongestWait frames), and 4 s more
    };
    // Frames a whole sound's estimates may wait for their path to settle
    // (about 4.5 s): with the 4 s it hears ahead for the loudest moment, the
    // bound on its memory and its delay (and the first 200 frames of a
    // voiced stretch wait, settled, until the stretch is known to be voice).
    static constexpr int32_t kLongestWait = 4096;
    // Samples a whole sound hears ahead of a frame for its loudest moment.
    static constexpr int32_t kLoudestAhead = 4 * kSampleRate;

    explicit PitchTracker(Sums sums = Sums::Running, Reach reach = Reach::Live);

    // Feeds the next `count` samples of the stream and appends the estimates
    // that became final, in frame order, to `out`.
    void Push(const int16_t* samples, size_t count, std::vector<PitchEstimate>& out);

    // Ends the stream: goes on with silence until estimates for `frames`
    // frames in all have been appended to `out` (nothing more when that many
    // were given already).
    void Finish(int64_t frames, std::vector<PitchEstimate>& out);

    // Estimates appended so far.
    int64_t FramesDone() const { return m_emitted - m_heldCount; }

private:
    struct State {
        float lag = 0.0f;      // refined period in samples; 0 for the unvoiced state
        float strength = 0.0f;
        float logLag = 0.0f;
        float score = 0.0f;    // best path score ending here
        int8_t from = -1;      // state of the frame before on that path
    };
    struct Column {
        std::array<State, kCandidates + 1> states{};
        int32_t count = 0;
    };

    void AnalyseNext();
    void SumAfresh(int64_t centre);
    void UpdateSums(int64_t oldCentre);
    void Normalise(int64_t centre);
    float Refine(int32_t lag, float& lowest) const;
    float RefineFinely(int32_t lag, float& lowest) const;
    float LoudnessChangePart(int32_t lag) const;
    float LowestNear(float lag) const;
    float BottomNear(float lag) const;
    void Candidates(Column& column, int64_t centre);
    void Link(Column& column, const Column* previous) const;
    void Emit(std::vector<PitchEstimate>& out);
    void SettleAll(std::vector<PitchEstimate>& out);
    const Column& ColumnOf(int64_t frame) const;
    Column& ColumnOf(int64_t frame);
    int32_t BestPath();
    int64_t Agreed() const;
    void Settle(float lag, std::vector<PitchEstimate>& out);
    void EndStretch(std::vector<PitchEstimate>& out);
    void Append(PitchEstimate estimate, std::vector<PitchEstimate>& out);
    int32_t MiddleOfTheVoiceHeard() const;
    int32_t MiddleOfTheHeldStretch() const;
    bool StretchIsVoiced() const;
    static int8_t SemitoneOf(float f0Hz);
    bool HoldsSeveralPeriods(float period, float lowest);
    int64_t Energy(int64_t first, int64_t last) const;
    int64_t LevelSum(const std::vector<int64_t>& sums, int64_t first, int64_t last) const;

    Sums m_sums;
    Reach m_reach;
    // What a candidate loses for holding several periods of the voice, and
    // for a short period that does not repeat; the unvoiced state's
    // strength (before the quiet's part), what it gains where the picture is
    // dim, how fast the stream's peak is forgotten and how many samples
    // ahead it is heard.
    float m_severalPeriodsPenalty;
    float m_noRepeatPenalty;
    float m_voicingThreshold;
    float m_dimFrameMargin;
    double m_peakDecay;
    int64_t m_peakAhead;
    // Samples j >= m_base of the stream, halved and smoothed (see the .cpp);
    // samples before 0 are silence. m_energy[i] sums the squares of the
    // first i, exactly. The loudness is measured on the halved samples
    // before smoothing: m_levelEnergy sums their squares, m_levelNeighbours
    // the products of neighbours among them; m_recent holds the last four.
    std::vector<int16_t> m_history;
    std::vector<int64_t> m_energy;
    std::vector<int64_t> m_levelEnergy;
    std::vector<int64_t> m_levelNeighbours;
    std::array<int16_t, 4> m_recent{};
    int64_t m_base = 0;
    int64_t m_received = 0;
    int64_t m_analysed = 0;  // frames analysed
    int64_t m_emitted = 0;   // frames whose estimate was appended
    bool m_haveSums = false;
    // For each lag, the sum over its window of x[j] x[j + lag], exact.
    std::array<int64_t, kMaxLag + 2> m_cross{};
    std::array<float, kMaxLag + 2> m_normalised{};
    std::array<float, kMaxLag + 2> m_totals{};  // the running totals of the differences behind it
    std::array<float, kMaxLag + 2> m_lowestBelow{};  // made when first asked for, once a frame
    bool m_haveLowestBelow = false;
    int64_t m_peakAheadRead = 0;  // samples before this are in m_peak
    double m_peak = 0.0;  // slowly decaying peak amplitude of the stream
    // The picture's loudness ceiling, followed as the frame analysis follows
    // it, in dB.
    float m_levelPeak;
    float m_levelFloor;
    // Columns of the analysed frames not yet settled, and of the newest
    // settled one, in a ring; the path's lags from the first unsettled frame.
    std::vector<Column> m_columns;
    std::vector<float> m_lags;
    // A whole sound leaves a voiced stretch shorter than 40 frames (40 ms)
    // unvoiced unless it lies near the voice: its middle pitch within
    // kNearTheVoiceSemitones (a fifth) of the middle of the voice heard in
    // the kVoiceHeardFrames (3 s) before it, where that voice was heard for
    // kLeastVoiceHeard frames at least. So short a stretch holds too little
    // of the voice for its octave to be weighed as a longer stretch's is:
    // one read far from the voice, a blip at the edge of a word, was most
    // often an octave or two off. One read where the voice is, is the
    // voice: a quick syllable, or a glide through a voiced consonant broken
    // where the pitch moves fastest, which Praat voices too; leaving those
    // out cost a man's voice 1-2 % of its frames in voicing errors. A
    // stretch's voiced estimates are held back, settled, until it is known
    // to be long enough; then the rest of it is not held.
    static constexpr int32_t kShortestVoicedStretch = 40;
    static constexpr int32_t kNearTheVoiceSemitones = 7;
    // Nor is a stretch of at most kBriefStretch frames whose middle pitch
    // lies kFarAboveSemitones (two and a half octaves) or more above the
    // middle of the voice heard in the kVoiceHeardFrames (3 s) before it,
    // where that voice was heard for kLeastVoiceHeard frames at least, and
    // above kLowestSqueakSemitone (500 Hz), higher than anyone speaks. A man
    // at 90 Hz says nothing at 600 Hz for a fifth of a second between two
    // pauses; what is read there is a formant ringing on in a nasal or at a
    // word's end, or a squeak of the line, which Praat itself reads at
    // whatever its ceiling allows. A singer's note is longer, and is heard
    // as it comes whatever came before it; a stretch a child or a woman
    // could speak is never taken for a squeak, even where the voice before
    // it was misread low.
    static constexpr int32_t kBriefStretch = 200;
    static constexpr int32_t kFarAboveSemitones = 30;
    static constexpr int32_t kLowestSqueakSemitone = 44;  // 40 Hz * 2^(44 / 12) = 503 Hz
    static constexpr int32_t kVoiceHeardFrames = 3000;
    static constexpr int32_t kLeastVoiceHeard = 200;
    static constexpr int32_t kSemitones = 64;  // from 40 Hz, past the top of the range
    // A frame read below kCreakBelowSemitone (57 Hz) in a voice whose middle
    // lies kCreakBelowTheVoiceSemitones (half an octave) or more above it is
    // left unvoiced. A man speaking at 100 Hz who falls to 50 Hz at a
    // phrase's end is creaking: his pulses come unevenly, often in pairs, and
    // whether such a frame is read at their spacing or at twice it turns on
    // the finest difference, so that either reading is as often wrong as
    // right (Praat itself reads it either way as its floor lies under 50 Hz
    // or at 60 Hz). At the bottom of the range, at the edge of voicing, a
    // frame that is not surely right is better unvoiced. A bass who speaks
    // or sings down there is heard there, and keeps every frame.
    static constexpr int32_t kCreakBelowSemitone = 6;  // 40 Hz * 2^(6 / 12) = 56.6 Hz
    static constexpr int32_t kCreakBelowTheVoiceSemitones = 6;
    std::array<PitchEstimate, kBriefStretch> m_held{};
    int32_t m_heldCount = 0;
    bool m_stretchLongEnough = false;
    // The voice heard lately, in a whole sound: the semitone of each of the
    // last kVoiceHeardFrames estimates appended (-1 where unvoiced), in a
    // ring, and how many of them lie in each semitone.
    std::vector<int8_t> m_heardSemitones;
    size_t m_heardAt = 0;
    std::array<int32_t, kSemitones> m_heardCounts{};
    int32_t m_heardVoiced = 0;
};

// Runs a tracker over a whole sound and returns one estimate per frame for
// `frames` frames.
std::vector<PitchEstimate> TrackPitch(const int16_t* samples, size_t count, int64_t frames,
                                      PitchTracker::Sums sums = PitchTracker::Sums::Running,
                                      PitchTracker::Reach reach = PitchTracker::Reach::Live);

// Frames the framer cuts from `samples` samples: 392 every 11.
int64_t PitchFramesIn(int64_t samples);

}  // namespace vocalume
