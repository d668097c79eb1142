// Reads a sound file as interleaved stereo 16-bit pairs at a target rate.
// Used by the file sound source; the file reader stays inside its own source.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vocalume {

class StereoResampler;

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

private:
    FileDecoder() = default;
    bool Refill();

    void* m_file = nullptr;  // the reader's handle
    int m_rate = 0;
    int m_channels = 0;
    int64_t m_expectedPairs = 0;
    std::unique_ptr<StereoResampler> m_resampler;  // null when already at the target rate
    static constexpr int32_t kBlock = 1024;
    std::unique_ptr<float[]> m_raw;      // one block in the file's own channels
    std::unique_ptr<short[]> m_rawShort;
    std::unique_ptr<float[]> m_stereo;   // one block as stereo
    int32_t m_stereoCount = 0;
    int32_t m_stereoPos = 0;
    bool m_fileEnded = false;
    bool m_drained = false;
};

}  // namespace vocalume
