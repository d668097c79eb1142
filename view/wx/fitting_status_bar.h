// The status bar of the program's window: each field is as wide as its text
// needs, so that no text is cut at the window's usual size, and what is left
// over is shared among them as the window grows (see FitStatusWidths).
#pragma once

#include <vector>

#include <wx/statusbr.h>

namespace vocalume {

class CFittingStatusBar : public wxStatusBar {
public:
    // `shares`: how the fields share the spare width, one entry a field.
    CFittingStatusBar(wxWindow* parent, wxWindowID id, long style, std::vector<int> shares);

protected:
    // Every text shown, the menus' help texts too, fits the fields anew.
    void DoUpdateStatusText(int number) override;

private:
    void Fit();
    void OnSize(wxSizeEvent& event);

    std::vector<int> m_shares;
};

}  // namespace vocalume
