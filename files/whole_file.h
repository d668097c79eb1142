// Files written whole or not at all, for every file the programs write (the
// recording, pictures, frame tables, settings, reports). The content is put
// on disk under no name first and takes its name only once it is complete,
// so that a full disk, a file-size limit, a signal or a crash never leaves
// half a file and never harms the file it was to replace.
//
//  - Where the system offers it, the content goes to an unnamed file in the
//    target's folder, which even a power cut or SIGKILL leaves nowhere.
//    Elsewhere it goes to a temporary name beside the target, which the
//    catchable signals remove once RemoveUnfinishedFilesOnSignal was called.
//  - A file replaced keeps its permissions (a private recording stays
//    private), and its owner and group where the system allows; a new file
//    gets the usual permissions (0666 less the umask).
//  - A symbolic link is written through: the file it leads to is replaced
//    and the link stays. Anything but a regular file (a folder, a device, a
//    pipe) is refused.
//  - Every failure is one sentence in the program's voice, starting with a
//    capital letter, saying what went wrong and what to do.
//
// Threads: any thread; writes to the same path must not overlap.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace vocalume {

// Writes the content into the open file; returns an empty string when all
// was written, kFillFailed when a write failed (errno says why), or else one
// phrase saying what went wrong.
using FileFiller = std::function<std::string(std::FILE*)>;
inline constexpr const char* kFillFailed = "\x01";

// Writes `path` with what `fill` puts in it. Returns an empty string on
// success, else one sentence saying what went wrong and what to do.
std::string WriteFileWhole(const std::string& path, const FileFiller& fill);
// The same for content already in memory.
std::string WriteFileWhole(const std::string& path, std::string_view content);

// Before long work: whether `path` could be written now (its folder exists
// and may be written, it is no folder or device, its name is not too long).
// Returns an empty string, or the sentence WriteFileWhole would end with.
std::string CheckFileWritable(const std::string& path);

// The file a write to `path` ends up in: `path` itself, or the end of its
// chain of symbolic links (which need not exist yet).
std::string FileTarget(const std::string& path);

// True when both paths name one existing file, or one file to be written
// (the same target, links followed).
bool SameFile(const std::string& a, const std::string& b);

// The longest file name (the last part of a path) a write accepts: room is
// kept for the temporary name's ending.
inline constexpr size_t kLongestFileName = 230;

// For programs that write files: makes every catchable signal that would end
// the process first remove the named temporary file of any write in
// progress, then end the process as the signal would have; and makes
// writing past a file-size limit (ulimit -f) fail with a message instead of
// ending the process. Call once at start-up, before other threads exist.
void RemoveUnfinishedFilesOnSignal();

}  // namespace vocalume
