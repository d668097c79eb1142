// The view's parts over a session made by hand, with no device and no
// analysis: the session's frames have colours of their own (so that a column
// tells which frame it shows) and sound whose every sample names its frame;
// the framer stands where a live picture shows the session's last frame in
// its right-most column.
#pragma once

#include <cstdint>
#include <vector>

#include "column_painter.h"
#include "column_surface.h"
#include "fake_view_host.h"
#include "framer.h"
#include "lanes.h"
#include "looking_back.h"
#include "session_history.h"
#include "view_settings.h"

namespace vocalume {

// A session of `frames` frames; frame f is coloured by f and its samples
// are f % 30000.
inline SessionHistory NumberedSession(int64_t frames)
{
    SessionHistory session(30);
    session.BeginEra(0);
    std::vector<int16_t> sound;
    for (int64_t f = 0; f < frames; ++f)
        sound.insert(sound.end(), static_cast<size_t>(session.Hop()), static_cast<int16_t>(f % 30000));
    session.Recorded(sound.data(), static_cast<int32_t>(sound.size()), frames);
    for (int64_t f = 0; f < frames; ++f) {
        ColumnDescription c;
        c.red = 20.0 + static_cast<double>(f % 200);
        c.green = 40.0 + static_cast<double>(f / 200) * 30.0;
        c.blue = 90.0;
        c.minSample = static_cast<int16_t>(-100 * (f % 50));
        c.maxSample = static_cast<int16_t>(100 * (f % 50));
        session.Keep(f, c);
    }
    return session;
}

struct PartsRig {
    explicit PartsRig(int64_t frames, int32_t width = 300, int32_t height = 100) : session(NumberedSession(frames))
    {
        framer.m_framesPerBuffer = 104;
        framer.m_hop = session.Hop();
        framer.m_frameCounter = frames + FramesBehindNewest(width - 1, width, framer.m_framesPerBuffer);
        lanes.LayOut(width, height);
    }

    SessionHistory session;
    Framer framer;
    ColumnSurface surface;
    ViewSettings settings;
    LookingBack lookingBack{session, surface, framer, settings};
    Lanes lanes{surface, lookingBack, settings};
    FakeHost host;
};

}  // namespace vocalume
