// Where the recording's samples come from. CWaveIn keeps the four rotating
// buffers; a sound source only produces interleaved stereo 16-bit sample
// pairs at the recording rate and hands them to the device through its sink.
#pragma once

#include <cstdint>
#include <string>

#include "recording_format.h"

namespace vocalume {

// The recording format: PCM, interleaved, left sample first.
struct WaveFormat {
    int32_t channels = 2;
    int32_t samplesPerSec = kRecordingRate;
    int32_t avgBytesPerSec = kRecordingRate * 4;
    int32_t blockAlign = 4;
    int32_t bitsPerSample = 16;
};

// One input a live source can record from: the stable name it is chosen and
// stored by, and what the user is shown.
struct InputChoice {
    std::string name;
    std::string description;
};

// The device side a source delivers into (implemented by CWaveIn). Called on
// the source's own thread (or on the caller's, for sources that are pumped),
// never on a device's real-time callback: a filled buffer is announced by
// posting a notice, which may allocate. Never waits for the user-interface
// thread.
class SoundSink {
public:
    virtual ~SoundSink() = default;
    // Copies `frames` sample pairs into the buffers the device holds. Whatever
    // does not fit, because all four buffers are with the program, is dropped
    // and counted.
    virtual void Deliver(const int16_t* pairs, int32_t frames) = 0;
    // Sample pairs the device can take right now without dropping any.
    virtual int32_t FramesWanted() const = 0;
    // Sample pairs in one of the device's buffers, known from before the
    // source opens; 0 when unknown. A live source gathers no more than this
    // before it delivers, so that a short buffer is not held up by a longer
    // block of the source's own.
    virtual int32_t BufferPairs() const { return 0; }
    // The sound has ended: a partly filled buffer is completed with silence
    // and handed over, then the host is told that nothing more will come.
    virtual void EndOfStream() = 0;
    // The device stopped for good (its server went away, it was unplugged);
    // `reason` says why in the user's terms. Nothing more will come.
    virtual void DeviceLost(const std::string& reason) = 0;
    // A source whose Open returned before the device had opened (a live
    // device, which never keeps the caller waiting) could not open it after
    // all; `message` is the whole message for the user. Nothing will come.
    virtual void OpenFailed(const std::string& message) { DeviceLost(message); }
};

// One kind of sound input. The device calls these on the user-interface
// thread, in the order Open, Start, (BufferQueued)*, Stop, Close. Open, Stop
// and Close of a live source return within a fraction of a second whatever
// the device or its server does.
class SoundSource {
public:
    virtual ~SoundSource() = default;
    // Prepares to deliver sound of `format` into `sink`. On failure returns
    // false with `userMessage` set when the user must see a specific reason
    // (left empty: the device's own failure message is shown). A live source
    // may return true before its device has opened, and tell the sink
    // (OpenFailed) if it then cannot.
    virtual bool Open(const WaveFormat& format, SoundSink& sink, std::string& userMessage) = 0;
    // Begins delivering.
    virtual void Start() = 0;
    // A buffer has been handed to the device; false means the source refused
    // it (the device then closes).
    virtual bool BufferQueued() { return true; }
    // Stops delivering; once it returns, the sink is not called again.
    virtual void Stop() = 0;
    virtual void Close() = 0;
    // Sources that run without a thread of their own deliver their next
    // buffer's worth of sound on the calling thread here and return true;
    // false once the sound has ended, or for sources that run by themselves.
    virtual bool Pump() { return false; }

    // The input to record from from the next Open on, by its stable name;
    // empty for the default input. Sources with one input ignore it.
    virtual void SetInput(const std::string& name) { (void)name; }
    // After an Open that succeeded: true when the chosen input was not there,
    // so that the default input records instead (a live source knows once
    // its device has opened).
    virtual bool InputMissing() const { return false; }
    // Sample pairs the source expects to give, known after a successful
    // Open; 0 when unknown (a stream, a live input). Only for progress.
    virtual int64_t ExpectedPairs() const { return 0; }
};

// Writes one diagnostic line to stderr when the environment variable
// VOCALUME_DEBUG is set; the user never sees these.
void DebugLog(const std::string& line);

}  // namespace vocalume
