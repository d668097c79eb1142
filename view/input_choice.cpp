#include "input_choice.h"

namespace vocalume {

ChosenInput::ChosenInput(const std::string& input) : m_shown(input.empty() ? kDefaultInputName : input) {}

std::vector<InputChoice> ChosenInput::List() const { return m_lister ? m_lister() : std::vector<InputChoice>{}; }

void ChosenInput::Choose(const std::string& input, const std::vector<InputChoice>& offered)
{
    m_shown = input.empty() ? kDefaultInputName : input;
    for (const InputChoice& choice : offered)
        if (choice.name == input)
            m_shown = choice.description;
    m_missingTold = false;
}

std::optional<std::string> ChosenInput::MissingNotice(bool missing)
{
    if (!missing || m_missingTold)
        return std::nullopt;
    m_missingTold = true;
    return std::string(kDefaultInputName) + " (\"" + m_shown + "\" is missing)";
}

}  // namespace vocalume
