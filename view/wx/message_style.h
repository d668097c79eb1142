// One style for every message the program shows, whichever part of it
// wrote the words: a capital first letter and a full stop (or question
// mark) at the end, once. Free of wx, so that tests need no toolkit.
#pragma once

#include <string>

namespace vocalume {

std::string AsSentence(std::string text);

}  // namespace vocalume
