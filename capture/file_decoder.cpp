#include "file_decoder.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "file_source.h"
#include "resampler.h"

namespace vocalume {
namespace {

SNDFILE* Handle(void* file) { return static_cast<SNDFILE*>(file); }

// The reader's own words without their full stop, to go inside a sentence.
std::string Phrase(std::string text)
{
    while (!text.empty() && (text.back() == '.' || text.back() == ' '))
        text.pop_back();
    return text;
}

// Why a file of `mode` is no sound file; empty for a regular file.
std::string NotASoundFile(mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    if (S_ISDIR(mode))
        return "it is a folder, not a sound file";
    if (S_ISFIFO(mode) || S_ISSOCK(mode))
        return "it is a pipe, not a sound file";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "it is a device, not a sound file";
    return "it is not a sound file";
}

bool FloatingPoint(int format)
{
    const int sub = format & SF_FORMAT_SUBMASK;
    return sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE;
}

}  // namespace

std::string CheckSoundFileToOpen(const std::string& path)
{
    const std::string what = "Cannot open the sound file \"" + path + "\": ";
    // Not blocking: opening a pipe with no writer would otherwise wait.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return what + std::strerror(errno) + ". Choose a sound file.";
    struct stat info {};
    const bool known = ::fstat(fd, &info) == 0;
    const int error = errno;
    ::close(fd);
    if (!known)
        return what + std::strerror(error) + ". Choose a sound file.";
    if (const std::string why = NotASoundFile(info.st_mode); !why.empty())
        return what + why + ". Choose a sound file.";
    return {};
}

std::unique_ptr<FileDecoder> FileDecoder::Open(const std::string& path, int targetRate,
                                               std::string& error)
{
    const bool standardInput = path == kStandardInput;
    const std::string what = standardInput ? "the sound from standard input" : "the sound file \"" + path + "\"";
    // Known before the reader takes the input: whether it is a stream.
    struct stat input {};
    const bool known = (standardInput ? ::fstat(STDIN_FILENO, &input) : ::stat(path.c_str(), &input)) == 0;
    const bool stream = known && (S_ISFIFO(input.st_mode) || S_ISSOCK(input.st_mode));
    if (known && S_ISDIR(input.st_mode)) {
        error = "Cannot read " + what + ": " + NotASoundFile(input.st_mode) + ".";
        return nullptr;
    }
    SF_INFO info{};
    SNDFILE* file = standardInput ? sf_open_fd(STDIN_FILENO, SFM_READ, &info, SF_FALSE)
                                  : sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        error = "Cannot read " + what + ": " + Phrase(sf_strerror(nullptr));
        if (stream)
            error += " (from a pipe, only formats that are read straight through, such as WAV, can be read)";
        error += ".";
        return nullptr;
    }
    if (info.channels < 1 || info.samplerate < 1) {
        sf_close(file);
        error = "Cannot read " + what + ": it holds no sound.";
        return nullptr;
    }
    if (info.samplerate < kLowestFileRate || info.samplerate > kHighestFileRate) {
        sf_close(file);
        error = "Cannot read " + what + ": its sample rate of " + std::to_string(info.samplerate) +
                " Hz is not one a sound file can have (" + std::to_string(kLowestFileRate) + " Hz to " +
                std::to_string(kHighestFileRate / 1000) + " kHz); its header may be damaged.";
        return nullptr;
    }
    std::unique_ptr<FileDecoder> d(new FileDecoder());
    d->m_file = file;
    d->m_rate = info.samplerate;
    d->m_channels = info.channels;
    // The reader holds a seekable file's length to what the file can hold; a
    // stream's header may promise anything.
    if (info.seekable != 0 && info.frames > 0)
        d->m_expectedPairs = static_cast<int64_t>(static_cast<double>(info.frames) * targetRate / info.samplerate);
    const size_t raw = static_cast<size_t>(kBlock) * static_cast<size_t>(info.channels);
    if (info.samplerate == targetRate && !FloatingPoint(info.format)) {
        // Already at the recording rate: passed through sample for sample.
        d->m_mode = Mode::Shorts;
        d->m_rawShort = std::make_unique<short[]>(raw);
        return d;
    }
    d->m_raw = std::make_unique<float[]>(raw);
    d->m_stereo = std::make_unique<float[]>(static_cast<size_t>(kBlock) * 2);
    if (info.samplerate == targetRate) {
        // Floating-point samples are full scale at 1, whatever the rate.
        d->m_mode = Mode::Floats;
        return d;
    }
    d->m_mode = Mode::Converted;
    d->m_resampler = std::make_unique<StereoResampler>(info.samplerate, targetRate, StereoResampler::Input::Float);
    if (!d->m_resampler->Error().empty()) {
        error = "Cannot read " + what + ": " + d->m_resampler->Error() + ".";
        return nullptr;
    }
    return d;
}

FileDecoder::~FileDecoder()
{
    if (m_file)
        sf_close(Handle(m_file));
}

int32_t FileDecoder::ReadStereoFloats(int32_t frames)
{
    const sf_count_t got = sf_readf_float(Handle(m_file), m_raw.get(), std::min(frames, kBlock));
    const int32_t count = got > 0 ? static_cast<int32_t>(got) : 0;
    const int c = m_channels;
    for (int32_t i = 0; i < count; ++i) {
        const float* frame = m_raw.get() + static_cast<ptrdiff_t>(i) * c;
        float left = frame[0];
        float right = c > 1 ? frame[1] : frame[0];
        // A sample that is no number would spread through the converter and
        // the analysis: it is silence, and counted for the user.
        if (!std::isfinite(left) || !std::isfinite(right)) {
            ++m_damaged;
            left = std::isfinite(left) ? left : 0.0f;
            right = std::isfinite(right) ? right : 0.0f;
        }
        m_stereo[2 * i] = left;
        m_stereo[2 * i + 1] = right;
    }
    return count;
}

bool FileDecoder::Refill()
{
    m_stereoPos = 0;
    m_stereoCount = ReadStereoFloats(kBlock);
    return m_stereoCount > 0;
}

int32_t FileDecoder::Read(int16_t* out, int32_t maxPairs)
{
    if (m_mode == Mode::Shorts) {
        const sf_count_t got =
            sf_readf_short(Handle(m_file), m_rawShort.get(), std::min(maxPairs, kBlock));
        const int c = m_channels;
        for (sf_count_t i = 0; i < got; ++i) {
            const short* frame = m_rawShort.get() + i * c;
            out[2 * i] = frame[0];
            out[2 * i + 1] = c > 1 ? frame[1] : frame[0];
        }
        return got > 0 ? static_cast<int32_t>(got) : 0;
    }
    if (m_mode == Mode::Floats) {
        const int32_t got = ReadStereoFloats(maxPairs);
        for (int32_t i = 0; i < 2 * got; ++i)
            out[i] = ToSample16(m_stereo[i]);
        return got;
    }

    int32_t produced = 0;
    int stalls = 0;
    while (produced < maxPairs && !m_drained && stalls < 3) {
        if (m_stereoPos == m_stereoCount && !m_fileEnded && !Refill())
            m_fileEnded = true;
        int16_t* dest = out + 2 * produced;
        const int32_t room = maxPairs - produced;
        int32_t n = 0;
        if (m_stereoPos < m_stereoCount) {
            int32_t consumed = 0;
            n = m_resampler->Process(m_stereo.get() + 2 * m_stereoPos, m_stereoCount - m_stereoPos,
                                     consumed, dest, room);
            m_stereoPos += consumed;
            stalls = (n == 0 && consumed == 0) ? stalls + 1 : 0;
        } else {
            // The file has ended: take what the converter still holds.
            n = m_resampler->Drain(dest, room);
            if (n == 0)
                m_drained = true;
        }
        produced += n;
    }
    return produced;
}

}  // namespace vocalume
