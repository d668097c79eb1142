// A whole-file analysis's session as bytes, so that it can be handed from
// the page's file worker (an instance of its own, as the desktop's file-work
// thread has a view of its own) to the page's view. Both ends are the same
// program, so the column descriptions travel as they are in memory.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "session_history.h"

namespace vocalume {

// The frames, their descriptions and pitch, and the sound of `session`,
// which must begin at its frame 0 (a file's analysis does).
std::vector<uint8_t> SessionBytes(const SessionHistory& session);

// The session again; none when the bytes are not such a session.
std::optional<SessionHistory> SessionFromBytes(const uint8_t* bytes, size_t size);

}  // namespace vocalume
