#include "about_dlg.h"

#include <wx/button.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "dialog_units.h"
#include "icons.h"
#include "vocalume_version.h"

namespace vocalume {

CAboutDlg::CAboutDlg(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, "About vocalume", wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX)
{
    SetClientSize(ConvertDialogToPixels(wxSize(235, 55)));

    const wxRect iconCell = DialogUnitRect(this, 11, 17, 20, 20);
    auto* icon = new wxStaticBitmap(this, wxID_ANY, ProgramIconBitmap(32));
    icon->SetSize(iconCell.x + (iconCell.width - 32) / 2, iconCell.y + (iconCell.height - 32) / 2, 32, 32);

    const wxString title = wxString("Vocalume - Sound Prism - Vs ") + vocalume::kVersion;
    Place(new wxStaticText(this, wxID_ANY, title), DialogUnitRect(this, 40, 10, 129, 8));
    Place(new wxStaticText(this, wxID_ANY, "(c) 2026 the Vocalume developers"), DialogUnitRect(this, 40, 25, 190, 8));
    auto* ok = new wxButton(this, wxID_OK, "&OK");
    FitToRow(ok, DialogUnitRect(this, 178, 7, 50, 14));
    ok->SetDefault();
    ok->SetFocus();
    Place(new wxStaticText(this, wxID_ANY, kHomePageUrl), DialogUnitRect(this, 40, 40, 131, 11));

    CentreOnParent();
}

}  // namespace vocalume
