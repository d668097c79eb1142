// Where recorded sound is played back: the desktop program plays a stretch of
// the session (or any other block of samples) so that the user hears what the
// picture shows, with a line that follows the sound being heard.
//
// Threads: every operation runs on the user-interface thread and returns
// within a bounded time, whatever the device or its server does. The samples
// are shared with the device's own thread, which may hold them until it ends.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "recording_format.h"
#include "sound_chunks.h"

namespace vocalume {

// The rate of every block played: the recording rate.
inline constexpr int32_t kPlaybackRate = kRecordingRate;

class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    // Plays the 16-bit mono samples of `samples` at kPlaybackRate from index
    // `from` to the end, stopping whatever played before. False, with a short
    // reason for the user, when nothing can be played; an output that opens
    // its device after returning tells of a device that failed through
    // Finished and Problem.
    virtual bool Play(SoundChunks samples, int64_t from, std::string& reason) = 0;
    // Stops at once; nothing more is heard. Harmless when nothing plays.
    virtual void Stop() = 0;
    // The index in the samples of the sound heard now: what was written to
    // the device less what it still holds. Between `from` and the end.
    virtual int64_t HeardPosition() const = 0;
    // True once the last sample has been heard (or the device was lost), and
    // after Stop; false while playing.
    virtual bool Finished() const = 0;
    // Why the last playing ended before its end, in a few words for the
    // user ("the sound output did not answer"); empty when it played to the
    // end, was stopped, or plays on.
    virtual std::string Problem() const { return {}; }
};

}  // namespace vocalume
