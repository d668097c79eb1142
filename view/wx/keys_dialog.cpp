// Help > Keys and colours: every key and a legend of the picture, in the
// view's own words, in a text a screen reader can read line by line.
#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/sizer.h>
#include <wx/textctrl.h>

#include "guide_text.h"
#include "view_window.h"

namespace vocalume {

void CViewWindow::ShowKeysAndColours()
{
    wxDialog dialog(wxGetTopLevelParent(this), wxID_ANY, "Keys and colours", wxDefaultPosition, wxDefaultSize,
                    wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER);
    auto* text = new wxTextCtrl(&dialog, wxID_ANY, wxString::FromUTF8(KeysAndColoursText()), wxDefaultPosition,
                                dialog.FromDIP(wxSize(560, 380)), wxTE_MULTILINE | wxTE_READONLY | wxTE_DONTWRAP);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(text, 1, wxEXPAND | wxALL, dialog.FromDIP(8));
    column->Add(dialog.CreateButtonSizer(wxOK), 0, wxEXPAND | wxALL, dialog.FromDIP(8));
    dialog.SetSizerAndFit(column);
    dialog.ShowModal();
    SetFocus();
}

}  // namespace vocalume
