// The input choice: where the Configuration dialog's list of microphones
// comes from, the chosen one's name for the user (the status bar's input
// field), and the one notice that the chosen microphone is missing.
//
// Threads: user-interface thread only.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sound_source.h"

namespace vocalume {

// The first entry of the Configuration dialog's Microphone list.
inline constexpr const char* kDefaultInputName = "Default input";

class ChosenInput {
public:
    // `input` is the stored choice (empty: the default input).
    explicit ChosenInput(const std::string& input);

    // Where the inputs there are come from (the live devices); asked afresh
    // each time the dialog opens. None: the dialog offers the default only.
    void SetLister(std::function<std::vector<InputChoice>()> lister) { m_lister = std::move(lister); }
    std::vector<InputChoice> List() const;

    // The user chose `input` from `offered`: named as the list described it.
    void Choose(const std::string& input, const std::vector<InputChoice>& offered);
    // What the input field shows.
    const std::string& Shown() const { return m_shown; }
    // After a Start on which the chosen input was `missing`: the input
    // field's text saying so, once per choice; nothing otherwise.
    std::optional<std::string> MissingNotice(bool missing);

private:
    std::function<std::vector<InputChoice>()> m_lister;
    std::string m_shown;
    bool m_missingTold = false;
};

}  // namespace vocalume
