#include "sound_files.h"

#include <sndfile.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace vocalume::testing {

TempFolder::TempFolder()
{
    static std::atomic<int> serial{0};
    m_dir = std::filesystem::temp_directory_path() /
            ("vocalume-capture-" + std::to_string(getpid()) + "-" + std::to_string(serial++));
    std::filesystem::create_directories(m_dir);
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

void WriteWav(const std::string& path, int rate, int channels, const std::vector<int16_t>& samples)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (f == nullptr)
        throw std::runtime_error("cannot write " + path);
    sf_writef_short(f, samples.data(), static_cast<sf_count_t>(samples.size() / channels));
    sf_close(f);
}

std::vector<int16_t> Sine(double hz, int rate, int count, double amplitude)
{
    std::vector<int16_t> x(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        x[i] = static_cast<int16_t>(std::lrint(32767.0 * amplitude * std::sin(2.0 * std::numbers::pi * hz * i / rate)));
    return x;
}

std::vector<int16_t> Interleave(const std::vector<int16_t>& left, const std::vector<int16_t>& right)
{
    std::vector<int16_t> x(left.size() * 2);
    for (size_t i = 0; i < left.size(); ++i) {
        x[2 * i] = left[i];
        x[2 * i + 1] = right[i];
    }
    return x;
}

double CrossingRate(const std::vector<int16_t>& x, size_t from, size_t to)
{
    int crossings = 0;
    for (size_t i = from + 1; i < to; ++i)
        if (x[i - 1] < 0 && x[i] >= 0)
            ++crossings;
    return crossings * 11025.0 / static_cast<double>(to - from);
}

}  // namespace vocalume::testing
