#include "fitting_status_bar.h"

#include "status_bar.h"

namespace vocalume {
namespace {

// Room a field takes besides its text: its borders and a little air.
constexpr int kFieldMargin = 14;

}  // namespace

CFittingStatusBar::CFittingStatusBar(wxWindow* parent, wxWindowID id, long style, std::vector<int> shares)
    : wxStatusBar(parent, id, style), m_shares(std::move(shares))
{
    Bind(wxEVT_SIZE, &CFittingStatusBar::OnSize, this);
}

void CFittingStatusBar::DoUpdateStatusText(int number)
{
    Fit();
    wxStatusBar::DoUpdateStatusText(number);
}

void CFittingStatusBar::OnSize(wxSizeEvent& event)
{
    Fit();
    event.Skip();
}

void CFittingStatusBar::Fit()
{
    const int count = GetFieldsCount();
    if (count <= 0 || static_cast<int>(m_shares.size()) != count)
        return;
    std::vector<int> needs(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const wxString text = GetStatusText(i);
        needs[static_cast<size_t>(i)] = text.empty() ? kFieldMargin : GetTextExtent(text).x + kFieldMargin;
    }
    const std::vector<int> widths = FitStatusWidths(needs, m_shares, GetClientSize().x);
    SetStatusWidths(count, widths.data());
}

}  // namespace vocalume
