// Files written whole or not at all: the content goes to a temporary file
// beside the target, is put on disk, and only then takes the target's name.
// A failure never leaves half a file and never harms an existing one.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace vocalume {

// Writes the content into the open file; returns an empty string when all
// was written, kFillFailed when a write failed (errno says why), or else one
// phrase saying what went wrong.
using FileFiller = std::function<std::string(std::FILE*)>;
inline constexpr const char* kFillFailed = "\x01";

// Writes `path` with what `fill` puts in it. A symbolic link is written
// through: the file it leads to is replaced and the link stays. An existing
// `path` that is not a regular file (a folder, device, pipe) is refused.
// Returns an empty string on success, else one line saying what went wrong.
// Any thread; writes to the same path must not overlap.
std::string WriteFileWhole(const std::string& path, const FileFiller& fill);

// The file a write to `path` ends up in: `path` itself, or the end of its
// chain of symbolic links (which need not exist yet).
std::string FileTarget(const std::string& path);

// Makes SIGINT, SIGTERM and SIGHUP first remove the temporary file of a write
// in progress, then end the process as the signal would have. For programs
// whose work is writing files; call once at start-up, before other threads
// exist.
void RemoveUnfinishedFilesOnSignal();

}  // namespace vocalume
