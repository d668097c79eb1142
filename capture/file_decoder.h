// Reads a sound file as interleaved stereo 16-bit pairs at a target rate.
// Used by the file sound source; the file reader stays inside its own source.
// Every format comes out at the same level: integer samples scaled to 16
// bits, floating-point samples (-1 to 1 is full scale) scaled and clipped,
// at the target rate or any other. Samples that hold no number (NaN,
// infinity) are read as silence and counted.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vocalume {

class StereoResampler;

// The sample rates a sound file may have: a header outside them is damaged,
// or its sound is none a voice recording can be (a file claiming 1 Hz would
// take hours to read).
inline constexpr int kLowestFileRate = 1000;
inline constexpr int kHighestFileRate = 768000;

class FileDecoder {
public:
    // Opens `path` (kStandardInput: the process's standard input, which is
    // read once, as any pipe is); on failure returns null with a message for
    // the user.
    static std::unique_ptr<FileDecoder> Open(const std::string& path, int targetRate,
                                             std::string& error);
    ~FileDecoder();
    FileDecoder(const FileDecoder&) = delete;
    FileDecoder& operator=(const FileDecoder&) = delete;

    // Writes up to `maxPairs` pairs; 0 means the sound has ended.
    int32_t Read(int16_t* out, int32_t maxPairs);

    // Pairs at the target rate the file's header promises, never more than
    // the file's size allows; 0 when unknown (a stream).
    int64_t ExpectedPairs() const { return m_expectedPairs; }

    // Frames of the file (at its own rate) read so far that held no number
    // in a channel the program uses, and were read as silence.
    int64_t DamagedFrames() const { return m_damaged; }
    int FileRate() const { return m_rate; }

private:
    // Integers at the target rate are passed through as 16-bit samples;
    // floating-point samples at the target rate are scaled here; anything
    // at another rate goes through the rate converter.
    enum class Mode { Shorts, Floats, Converted };

    FileDecoder() = default;
    bool Refill();
    // Reads up to `frames` frames as floats into m_raw and picks the two
    // channels into m_stereo, silencing what holds no number.
    int32_t ReadStereoFloats(int32_t frames);

    void* m_file = nullptr;  // the reader's handle
    int m_rate = 0;
    int m_channels = 0;
    Mode m_mode = Mode::Shorts;
    int64_t m_expectedPairs = 0;
    int64_t m_damaged = 0;
    std::unique_ptr<StereoResampler> m_resampler;  // only while converting
    static constexpr int32_t kBlock = 1024;
    std::unique_ptr<float[]> m_raw;      // one block in the file's own channels
    std::unique_ptr<short[]> m_rawShort;
    std::unique_ptr<float[]> m_stereo;   // one block as stereo
    int32_t m_stereoCount = 0;
    int32_t m_stereoPos = 0;
    bool m_fileEnded = false;
    bool m_drained = false;
};

// Whether the desktop program may open `path` as a recording or a model
// without ever waiting on it: only a regular file (a pipe with no writer
// would hold the reading for good, a device gives no end). Opens nothing
// that can wait. Returns an empty string, or one sentence saying why not.
std::string CheckSoundFileToOpen(const std::string& path);

}  // namespace vocalume
