// Playing back a block of recorded sound with a line that follows it across
// the picture. It knows nothing of the session: it is given the samples, how
// they map to frames (frame f begins at sample f * hop, the block's first
// sample being sample `firstSample`), and, at every step, how frames map to
// the columns of the picture shown. The session and any other recording
// shown beside it replay the same way.
//
// User-interface thread only. The output must outlive the replay.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sound_output.h"

namespace vocalume {

class Replay {
public:
    explicit Replay(SoundOutput& output) : m_output(output) {}
    ~Replay() { Stop(); }
    Replay(const Replay&) = delete;
    Replay& operator=(const Replay&) = delete;

    // Plays `sound` from the start of frame `fromFrame` to its end. False,
    // with the output's reason, when nothing could be played.
    bool Start(SoundChunks sound, int64_t firstSample, int32_t hop, int64_t fromFrame, std::string& reason);
    void Stop();
    bool Playing() const { return m_playing; }
    // The frame whose sound is heard now.
    int64_t HeardFrame() const;

    struct Step {
        // The sound has played to its end: the line is gone.
        bool ended = false;
        // The frame heard lies right of the picture: turn a page and step
        // again.
        bool turnPage = false;
        // The line moved (or went): the columns `oldColumn` and `lineColumn`
        // need drawing again (-1: no line there).
        bool moved = false;
        int32_t oldColumn = -1;
        int32_t lineColumn = -1;
        // With `ended`: why the output ended before the sound's end (its
        // device did not open, stopped answering, went away); empty when
        // the sound played to its end.
        std::string problem;
    };
    // Follows the sound in a picture `width` columns wide whose columns show
    // frames as `columnOf` maps them.
    Step Follow(const std::function<int64_t(int64_t frame)>& columnOf, int32_t width);
    // The column the play line is drawn in, -1 for none.
    int32_t LineColumn() const { return m_line; }

private:
    SoundOutput& m_output;
    bool m_playing = false;
    int64_t m_firstSample = 0;
    int32_t m_hop = 1;
    int32_t m_line = -1;
};

// Draws the play line, one pixel wide and white, over a picture of 3-byte
// pixels, rows `stride` bytes apart.
void DrawPlayLine(uint8_t* rgb, int stride, int width, int height, int column);

}  // namespace vocalume
