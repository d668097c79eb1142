// What a screen reader announces for the program's windows and controls.
// The toolkit's own names go to the window system's accessibility layer where
// the desktop has one. User-interface thread only.
#pragma once

#include <wx/string.h>

class wxStaticText;
class wxWindow;

namespace vocalume {

// Makes `label` the announced name of `control` and its mnemonic (the letter
// after '&' in the label's text) move the focus to `control`.
void LabelControl(wxStaticText* label, wxWindow* control);

// Gives `window`, which shows no text of its own, a name and a description.
void DescribeWindow(wxWindow* window, const wxString& name, const wxString& description);

}  // namespace vocalume
