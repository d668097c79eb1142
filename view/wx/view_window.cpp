#include "view_window.h"

#include <algorithm>

#include <wx/app.h>
#include <wx/dcclient.h>
#include <wx/msgdlg.h>

#include "analysis_view.h"
#include "config_dlg.h"
#include "screen_reader.h"

namespace vocalume {
namespace {

// Sent from the sound thread for every capture buffer the device has filled.
wxDEFINE_EVENT(EVT_BUFFER_DONE, wxThreadEvent);

}  // namespace

CViewWindow::CViewWindow(wxWindow* parent, CAnalysisView& view)
    : wxWindow(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
               wxBORDER_SUNKEN | wxWANTS_CHARS | wxFULL_REPAINT_ON_RESIZE),
      m_view(&view),
      m_pauseTimer(this, kPauseTimerId)
{
    // Every pixel comes from the view's picture: no background erase.
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetCursor(wxCursor(wxCURSOR_ARROW));

    Bind(wxEVT_PAINT, &CViewWindow::OnPaintEvent, this);
    Bind(wxEVT_SIZE, &CViewWindow::OnSizeEvent, this);
    Bind(wxEVT_CHAR, &CViewWindow::OnCharEvent, this);
    Bind(wxEVT_TIMER, &CViewWindow::OnTimerEvent, this, kPauseTimerId);
    Bind(EVT_BUFFER_DONE, &CViewWindow::OnBufferDone, this);
    Bind(wxEVT_MENU, &CViewWindow::OnCommand, this, ID_RECORD_START);
    Bind(wxEVT_MENU, &CViewWindow::OnCommand, this, ID_RECORD_PAUSE);
    Bind(wxEVT_MENU, &CViewWindow::OnCommand, this, ID_CONFIGURE);

    DescribeWindow(this, "Live picture of the voice",
                   "Live picture of the voice: time runs from right to left, about a thousand "
                   "columns a second; colour shows how the sound is spread over low, middle and "
                   "high frequencies, brightness its loudness, and light and dark stripes across "
                   "a column its pitch. Space starts and pauses recording.");

    m_view->OnCreate(*this);
    const wxSize size = GetClientSize();
    m_view->OnSize(size.x, size.y);
}

CViewWindow::~CViewWindow()
{
    m_pauseTimer.Stop();
}

void CViewWindow::DetachView()
{
    m_view = nullptr;
}

void CViewWindow::ForwardChar(int character)
{
    if (m_view)
        m_view->OnChar(character);
}

void CViewWindow::RequestPaint()
{
    Refresh(false);
}

void CViewWindow::SetPauseTimer(int milliseconds)
{
    m_pauseTimer.StartOnce(milliseconds);
}

void CViewWindow::KillPauseTimer()
{
    m_pauseTimer.Stop();
}

void CViewWindow::ShowMessage(const std::string& text)
{
    const wxString caption = wxTheApp ? wxTheApp->GetAppDisplayName() : wxString();
    wxMessageBox(wxString::FromUTF8(text), caption, wxOK | wxICON_EXCLAMATION, this);
}

bool CViewWindow::RunConfigDialog(ConfigValues& values)
{
    CConfigDlg dlg(wxGetTopLevelParent(this));
    dlg.m_refresh = values.refresh;
    dlg.m_sampling = values.sampling;
    dlg.m_timescale = values.timescale;
    dlg.m_waveform = values.waveform;
    dlg.m_palette = values.palette;
    if (dlg.ShowModal() != wxID_OK)
        return false;
    values.refresh = dlg.m_refresh;
    values.sampling = dlg.m_sampling;
    values.timescale = dlg.m_timescale;
    values.waveform = dlg.m_waveform;
    values.palette = dlg.m_palette;
    return true;
}

void CViewWindow::PostBufferDone()
{
    // wxQueueEvent is safe from any thread and keeps the notices in order.
    wxQueueEvent(this, new wxThreadEvent(EVT_BUFFER_DONE));
}

void CViewWindow::OnPaintEvent(wxPaintEvent&)
{
    wxPaintDC dc(this);
    if (!m_view)
        return;
    m_view->OnPaint();

    const int width = std::min(m_view->SurfaceWidth(), GetClientSize().x);
    const int height = std::min(m_view->SurfaceHeight(), GetClientSize().y);
    if (width <= 0 || height <= 0 || m_view->SurfaceRgb() == nullptr)
        return;

    m_blitter.Draw(dc, m_view->SurfaceRgb(), m_view->SurfaceWidth() * 3, width, height,
                   GetUpdateRegion().GetBox());
}

void CViewWindow::OnSizeEvent(wxSizeEvent& event)
{
    if (m_view) {
        const wxSize size = GetClientSize();
        m_view->OnSize(size.x, size.y);
    }
    Refresh(false);
    event.Skip();
}

void CViewWindow::OnCharEvent(wxKeyEvent& event)
{
    const int character = event.GetUnicodeKey();
    if (character != WXK_NONE)
        ForwardChar(character);
    // Every character also goes on to the default processing.
    event.Skip();
}

void CViewWindow::OnTimerEvent(wxTimerEvent&)
{
    if (m_view)
        m_view->OnTimer();
}

void CViewWindow::OnBufferDone(wxThreadEvent&)
{
    if (m_view)
        m_view->OnWimData();
}

void CViewWindow::OnCommand(wxCommandEvent& event)
{
    if (!m_view)
        return;
    switch (event.GetId()) {
    case ID_RECORD_START: m_view->OnStart(); break;
    case ID_RECORD_PAUSE: m_view->OnPause(); break;
    case ID_CONFIGURE: m_view->OnConfigure(); break;
    default: event.Skip(); break;
    }
}

}  // namespace vocalume
