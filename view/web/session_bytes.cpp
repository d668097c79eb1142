#include "session_bytes.h"

#include <cstring>

namespace vocalume {
namespace {

constexpr uint32_t kMagic = 0x564c5331;  // "VLS1"

struct Header {
    uint32_t magic = kMagic;
    int32_t minutes = 0;
    int32_t hop = 0;
    int32_t reserved = 0;
    int64_t frames = 0;
    int64_t samples = 0;
    int64_t pitchEnd = 0;
};

template <typename T>
void Put(std::vector<uint8_t>& bytes, const T& value)
{
    const auto* from = reinterpret_cast<const uint8_t*>(&value);
    bytes.insert(bytes.end(), from, from + sizeof value);
}

}  // namespace

std::vector<uint8_t> SessionBytes(const SessionHistory& session)
{
    Header header;
    header.minutes = session.LimitMinutes();
    header.hop = session.Hop();
    header.frames = session.EndFrame();
    header.samples = session.EndSample();
    header.pitchEnd = session.PitchEnd();
    if (session.FirstFrame() != 0)
        return {};
    std::vector<uint8_t> bytes;
    bytes.reserve(sizeof header + static_cast<size_t>(header.frames) * (sizeof(ColumnDescription) + sizeof(float)) +
                  static_cast<size_t>(header.samples) * sizeof(int16_t));
    Put(bytes, header);
    for (int64_t f = 0; f < header.frames; ++f)
        Put(bytes, session.Column(f));
    for (int64_t f = 0; f < header.pitchEnd; ++f)
        Put(bytes, session.Pitch(f));
    const SoundChunks sound = session.Sound();
    for (int64_t at = 0; at < sound.Size();) {
        const std::span<const int16_t> run = sound.Run(at, sound.Size() - at);
        const auto* from = reinterpret_cast<const uint8_t*>(run.data());
        bytes.insert(bytes.end(), from, from + run.size_bytes());
        at += static_cast<int64_t>(run.size());
    }
    return bytes;
}

std::optional<SessionHistory> SessionFromBytes(const uint8_t* bytes, size_t size)
{
    Header header;
    if (bytes == nullptr || size < sizeof header)
        return std::nullopt;
    std::memcpy(&header, bytes, sizeof header);
    if (header.magic != kMagic || header.hop <= 0 || header.frames < 0 || header.samples < 0 || header.pitchEnd < 0 ||
        header.pitchEnd > header.frames)
        return std::nullopt;
    const size_t columns = static_cast<size_t>(header.frames) * sizeof(ColumnDescription);
    const size_t pitch = static_cast<size_t>(header.pitchEnd) * sizeof(float);
    const size_t sound = static_cast<size_t>(header.samples) * sizeof(int16_t);
    if (size != sizeof header + columns + pitch + sound)
        return std::nullopt;
    const uint8_t* at = bytes + sizeof header;
    std::vector<int16_t> samples(static_cast<size_t>(header.samples));
    std::memcpy(samples.data(), at + columns + pitch, sound);

    // Built as a recording of the same sound would have left it: the frames
    // cut, then each one's description and pitch.
    SessionHistory session(header.minutes, header.hop);
    session.BeginEra(0);
    session.Recorded(samples.data(), static_cast<int32_t>(samples.size()), header.frames);
    for (int64_t f = 0; f < header.frames; ++f, at += sizeof(ColumnDescription)) {
        ColumnDescription column;
        std::memcpy(&column, at, sizeof column);
        session.Keep(f, column);
    }
    for (int64_t f = 0; f < header.pitchEnd; ++f, at += sizeof(float)) {
        float f0 = 0.0f;
        std::memcpy(&f0, at, sizeof f0);
        session.SetPitch(f, f0);
    }
    return session;
}

}  // namespace vocalume
