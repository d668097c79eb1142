#include "sound_chunks.h"

#include <algorithm>

namespace vocalume {

SoundChunks::SoundChunks(std::vector<Chunk> chunks, int64_t skip) : m_chunks(std::move(chunks)), m_skip(skip)
{
    int64_t end = -m_skip;
    m_ends.reserve(m_chunks.size());
    for (const Chunk& chunk : m_chunks) {
        end += static_cast<int64_t>(chunk->size());
        m_ends.push_back(end);
    }
}

SoundChunks::SoundChunks(std::vector<int16_t> samples)
    : SoundChunks({std::make_shared<const std::vector<int16_t>>(std::move(samples))}, 0)
{}

std::span<const int16_t> SoundChunks::Run(int64_t from, int64_t most) const
{
    if (from < 0 || from >= Size() || most <= 0)
        return {};
    const auto at = std::upper_bound(m_ends.begin(), m_ends.end(), from);
    const auto index = static_cast<size_t>(at - m_ends.begin());
    const std::vector<int16_t>& chunk = *m_chunks[index];
    const int64_t begin = *at - static_cast<int64_t>(chunk.size());
    const auto offset = static_cast<size_t>(from - begin);
    const auto count = static_cast<size_t>(std::min(most, *at - from));
    return {chunk.data() + offset, count};
}

std::vector<int16_t> SoundChunks::ToVector() const
{
    std::vector<int16_t> all;
    all.reserve(static_cast<size_t>(Size()));
    for (int64_t at = 0; at < Size();) {
        const std::span<const int16_t> run = Run(at, Size() - at);
        all.insert(all.end(), run.begin(), run.end());
        at += static_cast<int64_t>(run.size());
    }
    return all;
}

}  // namespace vocalume
