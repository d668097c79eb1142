// Placing a dialog's controls from a layout given in dialog units, so that
// the dialog keeps its proportions whatever the user's font.
#pragma once

#include <algorithm>

#include <wx/window.h>

namespace vocalume {

// The pixel rectangle of a layout rectangle given in dialog units.
inline wxRect DialogUnitRect(wxWindow* dialog, int x, int y, int width, int height)
{
    return wxRect(dialog->ConvertDialogToPixels(wxPoint(x, y)),
                  dialog->ConvertDialogToPixels(wxSize(width, height)));
}

// A control that takes its layout rectangle as it stands.
inline void Place(wxWindow* control, const wxRect& rect)
{
    control->SetSize(rect);
}

// Controls such as drop-down lists and push buttons may need more height than
// the layout gives them with this desktop's theme: they keep the layout's
// width and are centred on the layout row at their natural height.
inline void FitToRow(wxWindow* control, const wxRect& row)
{
    const int height = std::max(row.height, control->GetBestSize().y);
    control->SetSize(row.x, row.y + (row.height - height) / 2, row.width, height);
}

}  // namespace vocalume
