// What the program says to a newcomer, in its own words, for every host: the
// one-line hint on the empty picture, the names of the lanes, and the text
// of Help › Keys and colours. Toolkit-free text in UTF-8.
#pragma once

#include <cstdint>
#include <string>

namespace vocalume {

// Shown on the picture until the first take.
inline constexpr const char* kFirstTakeHint = "Press Space to record, Esc to pause, P to listen back";
// The lanes' names while a model is shown.
inline constexpr const char* kModelLaneName = "Model";
inline constexpr const char* kSessionLaneName = "You";

// A text the host draws over the shown picture, in its own font, at (x, y)
// of the picture: its top-left corner, or its centre when `centred`.
struct PictureText {
    std::string text;
    int32_t x = 0;
    int32_t y = 0;
    bool centred = false;
    bool operator==(const PictureText&) const = default;
};

// Help › Keys and colours: every key and what the picture shows.
const char* KeysAndColoursText();

}  // namespace vocalume
