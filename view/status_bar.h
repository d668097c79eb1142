// The status bar as the view fills it: one text per named field, told to the
// host only when it changes (every change redraws the bar), and the words
// of the state and position fields.
//
// Threads: user-interface thread only. The host, once attached, must outlive
// the status bar's use of it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "view_host.h"

namespace vocalume {

class StatusBar {
public:
    // Texts go to `host` from now on, beginning with those kept before.
    void Attach(ViewHost* host);
    // Shows `text` in `field` unless it shows it already.
    void Show(StatusField field, const std::string& text);
    const std::string& Text(StatusField field) const { return m_texts[static_cast<size_t>(field)]; }

private:
    ViewHost* m_host = nullptr;
    std::array<std::string, kStatusFields> m_texts;
};

// What the view is doing, as the state field says it.
struct ViewActivity {
    bool recording = false;
    bool playing = false;
    bool playingModel = false;
    // Looking back, and not at the live end (where the picture is the
    // paused one again).
    bool lookingBack = false;
};
const char* StateText(const ViewActivity& activity);

// The position field: the session's length ("1:05.3"), and while looking
// back where the picture's right edge stands in it, read forward from its
// start ("0:52.9 of 1:05.3"). `secondsBack`, how far that edge stands behind
// the end, is negative when not looking back.
std::string PositionText(double sessionSeconds, double secondsBack);

// Widths in pixels of the status bar's fields for a bar `total` pixels wide,
// each field needing `needs[i]` pixels to show its text whole: each gets
// what it needs and a share of what is left in proportion to `shares`;
// when the bar is too narrow, the widest fields give up pixels first.
std::vector<int> FitStatusWidths(const std::vector<int>& needs, const std::vector<int>& shares, int total);

}  // namespace vocalume
