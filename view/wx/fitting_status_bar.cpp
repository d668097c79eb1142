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
    wxRect field;
    if (GetFieldRect(number, field))
        RefreshRect(field);
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
    if (!m_font.IsOk())
        m_font = GetFont();
    if (static_cast<int>(m_needs.size()) != count) {
        m_measured.assign(static_cast<size_t>(count), wxString());
        m_needs.assign(static_cast<size_t>(count), kFieldMargin);
        m_widths.clear();
    }
    for (int i = 0; i < count; ++i) {
        const wxString text = GetStatusText(i);
        if (text == m_measured[static_cast<size_t>(i)])
            continue;
        m_measured[static_cast<size_t>(i)] = text;
        int width = 0;
        int height = 0;
        if (!text.empty())
            GetTextExtent(text, &width, &height, nullptr, nullptr, &m_font);
        m_needs[static_cast<size_t>(i)] = width + kFieldMargin;
    }
    const std::vector<int> widths = FitStatusWidths(m_needs, m_shares, GetClientSize().x);
    if (widths == m_widths)
        return;
    m_widths = widths;
    SetStatusWidths(count, widths.data());
}

}  // namespace vocalume
