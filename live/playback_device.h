// One way to a loudspeaker, as the playback guard drives it: blocking calls,
// all made on the guard's own device thread, one after the other.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vocalume {

class PlaybackDevice {
public:
    virtual ~PlaybackDevice() = default;
    // Opens for 16-bit mono sound at `rate` and starts it. On failure returns
    // false, with `reason` set when there is more to say than that no output
    // device was found.
    virtual bool Open(int32_t rate, std::string& reason) = 0;
    // Hands over all `count` samples, waiting while the device is full.
    // False when the device went away.
    virtual bool Write(const int16_t* samples, int32_t count) = 0;
    // Samples handed over and not yet heard (the device's latency); -1 when
    // the device cannot tell yet.
    virtual int64_t Pending() = 0;
    // Waits until everything handed over has been heard.
    virtual void Drain() = 0;
    // Throws away what has not been heard yet.
    virtual void Discard() = 0;
    virtual void Close() = 0;
};

// The desktop's sound server (where the program was built with it) and the
// sound system's default output through PortAudio; each returns null where
// it was not built in.
std::unique_ptr<PlaybackDevice> MakePulsePlaybackDevice();
std::unique_ptr<PlaybackDevice> MakePortAudioPlaybackDevice();

}  // namespace vocalume
