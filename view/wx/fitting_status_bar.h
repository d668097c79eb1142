// The status bar of the program's window: each field is as wide as its text
// needs, so that no text is cut at the window's usual size, and what is left
// over is shared among them as the window grows (see FitStatusWidths).
#pragma once

#include <vector>

#include <wx/font.h>
#include <wx/statusbr.h>

namespace vocalume {

class CFittingStatusBar : public wxStatusBar {
public:
    // `shares`: how the fields share the spare width, one entry a field.
    CFittingStatusBar(wxWindow* parent, wxWindowID id, long style, std::vector<int> shares);

protected:
    // Every text shown, the menus' help texts too, fits the fields anew.
    // The field is drawn again with the window's next paint, not at once:
    // while recording, the position changes ten times a second.
    void DoUpdateStatusText(int number) override;

private:
    void Fit();
    void OnSize(wxSizeEvent& event);

    std::vector<int> m_shares;
    // Each field's text as last measured, the width it needs, and the
    // widths set: a text measured once is not measured again, and the
    // fields are laid out anew only when a width changes.
    std::vector<wxString> m_measured;
    std::vector<int> m_needs;
    std::vector<int> m_widths;
    // The bar's font, asked once: asking the theme at every text costs more
    // than measuring it.
    wxFont m_font;
};

}  // namespace vocalume
