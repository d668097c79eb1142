// Writes sound files for the tests into a fresh temporary folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vocalume::testing {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    std::string Path(const std::string& name) const { return (m_dir / name).string(); }

private:
    std::filesystem::path m_dir;
};

// A 16-bit WAV file of interleaved samples.
void WriteWav(const std::string& path, int rate, int channels, const std::vector<int16_t>& samples);

// A sine at `hz` of peak `amplitude` (of full scale), `count` samples at `rate`.
std::vector<int16_t> Sine(double hz, int rate, int count, double amplitude);

// Interleaves equal-length channels.
std::vector<int16_t> Interleave(const std::vector<int16_t>& left, const std::vector<int16_t>& right);

// Rising zero crossings per second in samples [from, to) at 11025 Hz.
double CrossingRate(const std::vector<int16_t>& x, size_t from, size_t to);

}  // namespace vocalume::testing
