#include "session_history.h"

#include <algorithm>
#include <cmath>

namespace vocalume {
namespace {

// A frame that was cut but never drawn: black, with no trace.
ColumnDescription BlankColumn()
{
    ColumnDescription c;
    c.flags = ColumnDescription::kNoTrace;
    return c;
}

}  // namespace

SessionHistory::SessionHistory(int32_t minutes, int32_t hop) : m_minutes(std::max(minutes, 1)), m_hop(hop)
{
}

void SessionHistory::SetLimitMinutes(int32_t minutes)
{
    m_minutes = std::max(minutes, 1);
    DropOldest();
}

void SessionHistory::Clear()
{
    m_columns.clear();
    m_soundChunks.clear();
    m_soundSkip = 0;
    m_soundTail.clear();
    m_pitch.clear();
    m_pitchEnd = 0;
    m_firstFrame = 0;
    m_unsaved = false;
    // The framer's numbering goes on: its next frame is the session's first.
    m_eraFirstIndex = m_nextIndex;
    m_eraFirstFrame = 0;
}

void SessionHistory::TrimTo(int64_t endFrame) { TrimTo(endFrame, SampleOfFrame(std::max(endFrame, m_firstFrame))); }

void SessionHistory::TrimTo(int64_t endFrame, int64_t endSample)
{
    if (endFrame < EndFrame()) {
        const int64_t end = std::max(endFrame, m_firstFrame);
        m_columns.resize(static_cast<size_t>(end - m_firstFrame));
        m_pitch.resize(m_columns.size());
        m_pitchEnd = std::min(m_pitchEnd, end);
    }
    CutSound(std::max<int64_t>(endSample - FirstSample(), 0));
}

void SessionHistory::BeginEra(int64_t firstIndex)
{
    m_inEra = true;
    m_eraFirstIndex = firstIndex;
    m_eraFirstFrame = EndFrame();
    m_nextIndex = firstIndex;
}

void SessionHistory::Recorded(const int16_t* samples, int32_t count, int64_t endIndex)
{
    if (count > 0 && m_inEra) {
        // The new sound begins at its first frame's first sample: after an
        // opened file whose sound ends elsewhere than its frames, it is cut
        // there, or the silence the file's frames showed is kept.
        const int64_t at = SampleOfFrame(EndFrame()) - FirstSample();
        if (at < SoundSize()) {
            CutSound(at);
        } else if (at > SoundSize()) {
            const std::vector<int16_t> silence(static_cast<size_t>(at - SoundSize()), 0);
            KeepSound(silence.data(), static_cast<int64_t>(silence.size()));
        }
    }
    if (count > 0) {
        KeepSound(samples, count);
        m_unsaved = true;
    }
    if (m_inEra) {
        const int64_t end = m_eraFirstFrame + (endIndex - m_eraFirstIndex);
        if (end > EndFrame()) {
            m_columns.resize(static_cast<size_t>(end - m_firstFrame), BlankColumn());
            m_pitch.resize(m_columns.size(), 0);
        }
        m_nextIndex = std::max(m_nextIndex, endIndex);
    }
    DropOldest();
}

void SessionHistory::Keep(int64_t frameIndex, const ColumnDescription& column)
{
    // Frames from before the session, and a ring reset's black records, are
    // not the session's.
    if (!m_inEra || frameIndex < m_eraFirstIndex)
        return;
    const int64_t frame = m_eraFirstFrame + (frameIndex - m_eraFirstIndex);
    if (HasFrame(frame))
        m_columns[static_cast<size_t>(frame - m_firstFrame)] = column;
}

void SessionHistory::SetPitch(int64_t frame, float f0Hz)
{
    if (!HasFrame(frame))
        return;
    // Anything but a positive frequency (a NaN too) is kept as unvoiced;
    // frequencies off the scale at either end keep its end.
    uint16_t code = 0;
    if (f0Hz > 0.0f) {
        const double steps = std::log2(static_cast<double>(f0Hz) / kSessionPitchLowHz) * kSessionPitchSteps;
        code = static_cast<uint16_t>(std::clamp<double>(std::round(steps), 0.0, 65534.0) + 1.0);
    }
    m_pitch[static_cast<size_t>(frame - m_firstFrame)] = code;
    m_pitchEnd = std::max(m_pitchEnd, frame + 1);
}

float SessionHistory::Pitch(int64_t frame) const
{
    if (!HasFrame(frame))
        return 0.0f;
    const uint16_t code = m_pitch[static_cast<size_t>(frame - m_firstFrame)];
    return code == 0 ? 0.0f
                     : static_cast<float>(kSessionPitchLowHz *
                                          std::exp2(static_cast<double>(code - 1) / kSessionPitchSteps));
}

const ColumnDescription& SessionHistory::Column(int64_t frame) const
{
    return m_columns[static_cast<size_t>(frame - m_firstFrame)];
}

SoundChunks SessionHistory::Sound() const
{
    std::vector<SoundChunks::Chunk> chunks(m_soundChunks.begin(), m_soundChunks.end());
    if (!m_soundTail.empty())
        chunks.push_back(std::make_shared<const std::vector<int16_t>>(m_soundTail));
    return {std::move(chunks), m_soundSkip};
}

int64_t SessionHistory::SoundSize() const
{
    return static_cast<int64_t>(m_soundChunks.size()) * kSoundChunkSamples - m_soundSkip +
           static_cast<int64_t>(m_soundTail.size());
}

void SessionHistory::KeepSound(const int16_t* samples, int64_t count)
{
    while (count > 0) {
        if (m_soundTail.capacity() < static_cast<size_t>(kSoundChunkSamples))
            m_soundTail.reserve(static_cast<size_t>(kSoundChunkSamples));
        const int64_t n = std::min(count, kSoundChunkSamples - static_cast<int64_t>(m_soundTail.size()));
        m_soundTail.insert(m_soundTail.end(), samples, samples + n);
        samples += n;
        count -= n;
        if (static_cast<int64_t>(m_soundTail.size()) == kSoundChunkSamples) {
            m_soundChunks.push_back(std::make_shared<const std::vector<int16_t>>(std::move(m_soundTail)));
            m_soundTail = {};
        }
    }
}

void SessionHistory::CutSound(int64_t count)
{
    if (count >= SoundSize())
        return;
    // The new end in the numbering of the full chunks' samples: the chunk
    // it falls in becomes the one being filled again.
    const int64_t sealed = static_cast<int64_t>(m_soundChunks.size()) * kSoundChunkSamples;
    const int64_t at = m_soundSkip + count;
    if (at >= sealed) {
        m_soundTail.resize(static_cast<size_t>(at - sealed));
        return;
    }
    const auto index = static_cast<size_t>(at / kSoundChunkSamples);
    const std::vector<int16_t>& chunk = *m_soundChunks[index];
    const int64_t from = index == 0 ? m_soundSkip : 0;
    m_soundTail.assign(chunk.begin() + from, chunk.begin() + at % kSoundChunkSamples);
    if (index == 0)
        m_soundSkip = 0;
    m_soundChunks.resize(index);
}

void SessionHistory::DropSound(int64_t count)
{
    m_soundSkip += count;
    while (!m_soundChunks.empty() && m_soundSkip >= kSoundChunkSamples) {
        m_soundChunks.pop_front();
        m_soundSkip -= kSoundChunkSamples;
    }
    if (m_soundChunks.empty() && m_soundSkip > 0) {
        const auto n = static_cast<size_t>(std::min<int64_t>(m_soundSkip, static_cast<int64_t>(m_soundTail.size())));
        m_soundTail.erase(m_soundTail.begin(), m_soundTail.begin() + static_cast<std::ptrdiff_t>(n));
        m_soundSkip = 0;
    }
}

std::vector<int16_t> SessionHistory::SoundBetween(int64_t from, int64_t to) const
{
    from = std::max(from, FirstSample());
    to = std::min(to, EndSample());
    if (from >= to)
        return {};
    std::vector<int16_t> out;
    out.reserve(static_cast<size_t>(to - from));
    // Where `from` lies among the chunks, counting the skipped samples of
    // the first; past the full chunks lies the chunk being filled.
    int64_t at = from - FirstSample() + m_soundSkip;
    const auto full = static_cast<int64_t>(m_soundChunks.size());
    while (static_cast<int64_t>(out.size()) < to - from) {
        const int64_t chunk = at / kSoundChunkSamples;
        const std::vector<int16_t>& samples =
            chunk < full ? *m_soundChunks[static_cast<size_t>(chunk)] : m_soundTail;
        const int64_t offset = chunk < full ? at % kSoundChunkSamples : at - full * kSoundChunkSamples;
        const int64_t n = std::min(static_cast<int64_t>(samples.size()) - offset,
                                   to - from - static_cast<int64_t>(out.size()));
        out.insert(out.end(), samples.begin() + offset, samples.begin() + offset + n);
        at += n;
    }
    return out;
}

size_t SessionHistory::BytesUsed() const
{
    return m_columns.size() * sizeof(ColumnDescription) +
           (static_cast<size_t>(m_soundChunks.size() * kSoundChunkSamples) + m_soundTail.size()) * sizeof(int16_t) +
           m_pitch.size() * sizeof(uint16_t);
}

void SessionHistory::DropOldest()
{
    const int64_t maxFrames = static_cast<int64_t>(m_minutes) * 60 * kRecordingRate / m_hop;
    // A second at a time, so that dropping costs little per frame.
    const int64_t frameStep = kRecordingRate / m_hop;
    if (static_cast<int64_t>(m_columns.size()) <= maxFrames + frameStep)
        return;
    const int64_t drop = static_cast<int64_t>(m_columns.size()) - maxFrames;
    m_columns.erase(m_columns.begin(), m_columns.begin() + drop);
    m_pitch.erase(m_pitch.begin(), m_pitch.begin() + drop);
    DropSound(std::min<int64_t>(drop * m_hop, SoundSize()));
    m_firstFrame += drop;
    m_pitchEnd = std::max(m_pitchEnd, m_firstFrame);
}

}  // namespace vocalume
