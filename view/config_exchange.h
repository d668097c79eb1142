// How the Configuration dialog's drop-down lists exchange their texts with
// the dialog's fields. Free of any toolkit: the desktop's dialog and the
// browser page's build their lists from here.
#pragma once

#include <string>
#include <vector>

namespace vocalume {

// The entries of the two lists, in the order they are offered.
const std::vector<std::string>& RefreshRateEntries();
const std::vector<std::string>& SamplingRatioEntries();
// The colours list: "Standard", then "Colour-blind safe"; an entry's index is
// the "palette" setting it stands for.
const std::vector<std::string>& PaletteEntries();

// Opening the dialog: the index of the first entry that begins with `text`
// (a stored refresh rate of 1 opens on "10"), or -1 for no selection.
int FirstEntryBeginningWith(const std::vector<std::string>& entries, const std::string& text);

// Closing with OK: the text of the selected entry. With no selection the
// field keeps `current`, so that an untouched empty list never turns a
// setting into 0.
std::string TextOfSelection(const std::vector<std::string>& entries, int selection, const std::string& current);

// The colours list, both ways: `index` when it names an entry, else 0, so
// that an unknown stored value or an empty selection means the standard
// colours.
int EntryIndexOrFirst(const std::vector<std::string>& entries, int index);

}  // namespace vocalume
