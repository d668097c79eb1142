// Recorded sound kept as shared, immutable chunks: a stretch of 16-bit mono
// samples at the recording rate that is cheap to hand over. Taking a stretch
// copies the chunks' pointers, not their samples, so that playing, saving and
// exporting read the session's sound while it records on, and a device
// thread may hold what it plays for as long as it plays it.
//
// Threads: a stretch is a value; its chunks never change once made, so any
// number of threads may read copies of one stretch.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace vocalume {

class SoundChunks {
public:
    using Chunk = std::shared_ptr<const std::vector<int16_t>>;

    SoundChunks() = default;
    // The samples of `chunks`, in order, the first `skip` samples of the
    // first chunk left out.
    SoundChunks(std::vector<Chunk> chunks, int64_t skip);
    // One chunk holding `samples`.
    explicit SoundChunks(std::vector<int16_t> samples);

    int64_t Size() const { return m_ends.empty() ? 0 : m_ends.back(); }
    bool Empty() const { return Size() == 0; }
    // The samples from index `from` on, as far as they lie together in
    // memory and at most `most` of them; empty from Size() on.
    std::span<const int16_t> Run(int64_t from, int64_t most) const;
    int16_t operator[](int64_t index) const { return Run(index, 1)[0]; }
    // A copy of every sample, in order.
    std::vector<int16_t> ToVector() const;

private:
    std::vector<Chunk> m_chunks;
    int64_t m_skip = 0;
    // Where each chunk's samples end in the stretch.
    std::vector<int64_t> m_ends;
};

}  // namespace vocalume
