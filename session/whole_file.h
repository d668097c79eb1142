// Files written whole or not at all: the bytes go to a temporary file beside
// the target, which is renamed over it once complete and on disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vocalume {

// Returns an empty string on success, else one sentence saying why the file
// could not be written; the target is then left as it was.
std::string WriteWholeFile(const std::string& path, const uint8_t* bytes, size_t size);

}  // namespace vocalume
