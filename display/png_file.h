// Writing a picture to a PNG file, complete or not at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "whole_file.h"

namespace vocalume {

// Writes `height` rows of `width` 8-bit RGB pixels (rows `stride` bytes
// apart) to `path`. The picture goes to a temporary file in the same folder
// that is renamed over `path` once complete, so a failure never leaves a
// half-written image and never harms an existing file. A symbolic link is
// written through: the file it leads to is replaced and the link stays. An
// existing `path` that is not a regular file (a folder, device, pipe) is
// refused. Returns an empty string on success, else one line saying what went
// wrong. Any thread; writes to the same path must not overlap.
std::string WritePngFile(const std::string& path, int32_t width, int32_t height, const uint8_t* rgb,
                         size_t stride);

}  // namespace vocalume
