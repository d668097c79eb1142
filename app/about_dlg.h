// The About box: the program's icon, name and version, its makers and the
// address of its home page.
#pragma once

#include <wx/dialog.h>

namespace vocalume {

// The program's home page, shown in the About box and opened by the web
// command.
inline constexpr const char* kHomePageUrl = "https://vocalume.org";

class CAboutDlg : public wxDialog {
public:
    explicit CAboutDlg(wxWindow* parent);
};

}  // namespace vocalume
