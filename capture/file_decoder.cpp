#include "file_decoder.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "file_source.h"
#include "resampler.h"

namespace vocalume {
namespace {
SNDFILE* Handle(void* file) { return static_cast<SNDFILE*>(file); }
}  // namespace

std::unique_ptr<FileDecoder> FileDecoder::Open(const std::string& path, int targetRate,
                                               std::string& error)
{
    const bool standardInput = path == kStandardInput;
    const std::string what = standardInput ? "the sound from standard input" : "the sound file \"" + path + "\"";
    // Known before the reader takes the input: whether it is a stream.
    struct stat input {};
    const bool stream = (standardInput ? ::fstat(STDIN_FILENO, &input) : ::stat(path.c_str(), &input)) == 0 &&
                        (S_ISFIFO(input.st_mode) || S_ISSOCK(input.st_mode));
    SF_INFO info{};
    SNDFILE* file = standardInput ? sf_open_fd(STDIN_FILENO, SFM_READ, &info, SF_FALSE)
                                  : sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        error = "Cannot read " + what + ": " + sf_strerror(nullptr);
        while (stream && !error.empty() && (error.back() == '.' || error.back() == ' '))
            error.pop_back();
        if (stream)
            error += " (from a pipe, only formats that are read straight through, such as WAV, can be read)";
        return nullptr;
    }
    if (info.channels < 1 || info.samplerate < 1) {
        sf_close(file);
        error = "Cannot read " + what + ": it holds no sound";
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
    if (info.samplerate == targetRate) {
        // Already at the recording rate: passed through sample for sample.
        d->m_rawShort = std::make_unique<short[]>(raw);
    } else {
        d->m_resampler = std::make_unique<StereoResampler>(info.samplerate, targetRate,
                                                           StereoResampler::Input::Float);
        if (!d->m_resampler->Error().empty()) {
            error = "Cannot read " + what + ": " + d->m_resampler->Error();
            return nullptr;
        }
        d->m_raw = std::make_unique<float[]>(raw);
        d->m_stereo = std::make_unique<float[]>(static_cast<size_t>(kBlock) * 2);
    }
    return d;
}

FileDecoder::~FileDecoder()
{
    if (m_file)
        sf_close(Handle(m_file));
}

bool FileDecoder::Refill()
{
    const sf_count_t got = sf_readf_float(Handle(m_file), m_raw.get(), kBlock);
    m_stereoPos = 0;
    m_stereoCount = got > 0 ? static_cast<int32_t>(got) : 0;
    const int c = m_channels;
    for (int32_t i = 0; i < m_stereoCount; ++i) {
        const float* frame = m_raw.get() + static_cast<ptrdiff_t>(i) * c;
        m_stereo[2 * i] = frame[0];
        m_stereo[2 * i + 1] = c > 1 ? frame[1] : frame[0];
    }
    return m_stereoCount > 0;
}

int32_t FileDecoder::Read(int16_t* out, int32_t maxPairs)
{
    if (!m_resampler) {
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
