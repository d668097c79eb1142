#include "message_style.h"

namespace vocalume {

std::string AsSentence(std::string text)
{
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n'))
        text.pop_back();
    if (text.empty())
        return text;
    if (text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    // The reader's "recognised." inside ours, once.
    while (text.size() >= 2 && text.back() == '.' && text[text.size() - 2] == '.')
        text.pop_back();
    const char last = text.back();
    if (last != '.' && last != '?' && last != '!')
        text += '.';
    return text;
}

}  // namespace vocalume
