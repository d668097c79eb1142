// Saving the session's sound: 16-bit mono at the recording rate, as WAV or
// FLAC, chosen by the file name's extension. The file is written whole or
// not at all.
#pragma once

#include <cstdint>
#include <string>

#include "sound_chunks.h"

namespace vocalume {

// Writes `samples` at `rate` samples per second to `path` (".wav" or ".flac",
// any case). Returns an empty string on success, else one sentence saying
// what went wrong; an existing file at `path` is then left as it was.
std::string WriteSoundFile(const std::string& path, const SoundChunks& samples, int32_t rate);

}  // namespace vocalume
