#include "sound_file_writer.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "whole_file.h"

namespace vocalume {
namespace {

// libsndfile writes into memory; the bytes then go to disk in one piece.
struct MemoryFile {
    std::vector<uint8_t> bytes;
    sf_count_t position = 0;
};

sf_count_t Length(void* user) { return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->bytes.size()); }

sf_count_t Seek(sf_count_t offset, int whence, void* user)
{
    auto* f = static_cast<MemoryFile*>(user);
    sf_count_t base = 0;
    if (whence == SEEK_CUR)
        base = f->position;
    else if (whence == SEEK_END)
        base = static_cast<sf_count_t>(f->bytes.size());
    f->position = std::max<sf_count_t>(0, base + offset);
    return f->position;
}

sf_count_t Read(void* out, sf_count_t count, void* user)
{
    auto* f = static_cast<MemoryFile*>(user);
    const sf_count_t available = std::max<sf_count_t>(0, static_cast<sf_count_t>(f->bytes.size()) - f->position);
    const sf_count_t n = std::min(count, available);
    if (n > 0)
        std::memcpy(out, f->bytes.data() + f->position, static_cast<size_t>(n));
    f->position += n;
    return n;
}

sf_count_t Write(const void* in, sf_count_t count, void* user)
{
    auto* f = static_cast<MemoryFile*>(user);
    const size_t end = static_cast<size_t>(f->position + count);
    if (end > f->bytes.size())
        f->bytes.resize(end);
    std::memcpy(f->bytes.data() + f->position, in, static_cast<size_t>(count));
    f->position += count;
    return count;
}

sf_count_t Tell(void* user) { return static_cast<MemoryFile*>(user)->position; }

std::string LowerExtension(const std::string& path)
{
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

}  // namespace

std::string WriteSoundFile(const std::string& path, const SoundChunks& samples, int32_t rate)
{
    const std::string ext = LowerExtension(path);
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    if (ext == "wav")
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    else if (ext == "flac")
        info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    else
        return "Choose a file name that ends in .wav or .flac.";

    MemoryFile memory;
    memory.bytes.reserve(static_cast<size_t>(samples.Size()) * sizeof(int16_t) + 64);
    SF_VIRTUAL_IO io{Length, Seek, Read, Write, Tell};
    SNDFILE* file = sf_open_virtual(&io, SFM_WRITE, &info, &memory);
    if (file == nullptr)
        return std::string("The sound could not be encoded: ") + sf_strerror(nullptr) + ".";
    sf_count_t written = 0;
    for (int64_t at = 0; at < samples.Size();) {
        const std::span<const int16_t> run = samples.Run(at, samples.Size() - at);
        const sf_count_t count = sf_write_short(file, run.data(), static_cast<sf_count_t>(run.size()));
        written += count;
        if (count != static_cast<sf_count_t>(run.size()))
            break;
        at += static_cast<int64_t>(run.size());
    }
    const bool complete = written == static_cast<sf_count_t>(samples.Size());
    const std::string failure = complete ? std::string() : sf_strerror(file);
    sf_close(file);
    if (!complete)
        return "The sound could not be encoded: " + failure + ".";
    return WriteFileWhole(path, [&memory](std::FILE* file) -> std::string {
        const size_t size = memory.bytes.size();
        return std::fwrite(memory.bytes.data(), 1, size, file) == size ? std::string() : std::string(kFillFailed);
    });
}

}  // namespace vocalume
