#include "view_window.h"

#include <algorithm>
#include <ctime>
#include <memory>
#include <optional>

#include <wx/app.h>
#include <wx/dcclient.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/scrolbar.h>

#include "analysis_view.h"
#include "background_job.h"
#include "config_dlg.h"
#include "message_style.h"
#include "save_name.h"
#include "screen_reader.h"
#include "suggested_name.h"

namespace vocalume {
namespace {

// Sent from the sound thread for every capture buffer the device has filled.
wxDEFINE_EVENT(EVT_BUFFER_DONE, wxThreadEvent);

}  // namespace

CViewWindow::CViewWindow(wxWindow* parent, CAnalysisView& view)
    : wxWindow(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
               wxBORDER_SUNKEN | wxWANTS_CHARS | wxFULL_REPAINT_ON_RESIZE),
      m_view(&view),
      m_pauseTimer(this, kPauseTimerId),
      m_playTimer(this, kPlayTimerId),
      m_reviewTimer(this, kReviewTimerId)
{
    // Every pixel comes from the view's picture: no background erase.
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetCursor(wxCursor(wxCURSOR_ARROW));

    Bind(wxEVT_PAINT, &CViewWindow::OnPaintEvent, this);
    Bind(wxEVT_SIZE, &CViewWindow::OnSizeEvent, this);
    Bind(wxEVT_CHAR, &CViewWindow::OnCharEvent, this);
    Bind(wxEVT_TIMER, &CViewWindow::OnTimerEvent, this, kPauseTimerId);
    Bind(wxEVT_TIMER, &CViewWindow::OnPlayTimerEvent, this, kPlayTimerId);
    Bind(wxEVT_TIMER, &CViewWindow::OnReviewTimerEvent, this, kReviewTimerId);
    Bind(EVT_BUFFER_DONE, &CViewWindow::OnBufferDone, this);
    Bind(wxEVT_MENU, &CViewWindow::OnCommand, this, ID_RECORD_START);
    Bind(wxEVT_MENU, &CViewWindow::OnCommand, this, ID_RECORD_PAUSE);
    Bind(wxEVT_MENU, &CViewWindow::OnCommand, this, ID_CONFIGURE);
    Bind(wxEVT_MENU, &CViewWindow::OnCommand, this, ID_SAVE_RECORDING);
    Bind(wxEVT_MENU, &CViewWindow::OnCommand, this, ID_SAVE_PICTURE);
    Bind(wxEVT_MENU, &CViewWindow::OnCommand, this, ID_NEW_SESSION);
    Bind(wxEVT_MENU, &CViewWindow::OnCommand, this, ID_PITCH_LINE);
    Bind(wxEVT_MENU, &CViewWindow::OnCommand, this, ID_OPEN_RECORDING);
    Bind(wxEVT_MENU, &CViewWindow::OnCommand, this, ID_EXPORT_FRAMES);
    Bind(wxEVT_MENU, &CViewWindow::OnCommand, this, ID_OPEN_MODEL);
    Bind(wxEVT_MENU, &CViewWindow::OnCommand, this, ID_CLOSE_MODEL);
    Bind(wxEVT_MENU, &CViewWindow::OnCommand, this, ID_FOLLOW_TIMING);
    Bind(wxEVT_MENU, &CViewWindow::OnCommand, this, ID_PROGRESS_REPORT);
    Bind(wxEVT_MENU, &CViewWindow::OnCommand, this, ID_KEYS_AND_COLOURS);
    Bind(wxEVT_MENU, &CViewWindow::OnCommand, this, ID_ZOOM_OUT);
    Bind(wxEVT_MENU, &CViewWindow::OnCommand, this, ID_ZOOM_IN);
    Bind(wxEVT_MENU, &CViewWindow::OnCommand, this, ID_TARGET_NOTE);
    Bind(wxEVT_KEY_DOWN, &CViewWindow::OnKeyDown, this);
    Bind(wxEVT_MOUSEWHEEL, &CViewWindow::OnWheelEvent, this);
    Bind(wxEVT_MOTION, &CViewWindow::OnMouseEvent, this);
    Bind(wxEVT_LEAVE_WINDOW, &CViewWindow::OnMouseEvent, this);
    Bind(wxEVT_LEFT_DOWN, &CViewWindow::OnMouseEvent, this);

    DescribeWindow(this, "Live picture of the voice",
                   "Live picture of the voice: time runs from right to left, about a thousand "
                   "columns a second; colour shows how the sound is spread over low, middle and "
                   "high frequencies, brightness its loudness, and light and dark stripes across "
                   "a column its pitch. Space starts and pauses recording.");

    m_job = std::make_unique<CBackgroundJob>(this, [this] { SetStatusText(StatusField::State, m_stateText); });
    AcceptDroppedFiles();
    m_view->OnCreate(*this);
    const wxSize size = GetClientSize();
    m_view->OnSize(size.x, size.y);
}

CViewWindow::~CViewWindow()
{
    m_pauseTimer.Stop();
    m_playTimer.Stop();
    m_reviewTimer.Stop();
}

void CViewWindow::DetachView()
{
    m_view = nullptr;
}

void CViewWindow::ForwardChar(int character)
{
    // While a file is opened or exported, Esc cancels it and no other
    // character changes the session; while a model opens, recording goes on.
    if (m_job->Running()) {
        if (character == 27)
            m_job->Cancel();
        if (character == 27 || m_job->HoldsSession())
            return;
    }
    if (m_view)
        m_view->OnChar(character);
}

bool CViewWindow::ForwardKey(int keyCode)
{
    ViewKey key;
    switch (keyCode) {
    case WXK_LEFT: key = ViewKey::Left; break;
    case WXK_RIGHT: key = ViewKey::Right; break;
    case WXK_PAGEUP: key = ViewKey::PageUp; break;
    case WXK_PAGEDOWN: key = ViewKey::PageDown; break;
    case WXK_HOME: key = ViewKey::Home; break;
    case WXK_END: key = ViewKey::End; break;
    default: return false;
    }
    if (m_view)
        m_view->OnKey(key);
    return true;
}

void CViewWindow::SetScrollBar(wxScrollBar* bar)
{
    m_scrollBar = bar;
    if (m_scrollBar == nullptr)
        return;
    for (const auto& type : {wxEVT_SCROLL_THUMBTRACK, wxEVT_SCROLL_CHANGED, wxEVT_SCROLL_LINEUP,
                             wxEVT_SCROLL_LINEDOWN, wxEVT_SCROLL_PAGEUP, wxEVT_SCROLL_PAGEDOWN,
                             wxEVT_SCROLL_TOP, wxEVT_SCROLL_BOTTOM})
        m_scrollBar->Bind(type, &CViewWindow::OnScrollEvent, this);
}

void CViewWindow::SetStatusText(StatusField field, const std::string& text)
{
    if (field == StatusField::State) {
        m_stateText = text;
        if (m_job && m_job->ShowingProgress())
            return;
    }
    if (auto* frame = dynamic_cast<wxFrame*>(wxGetTopLevelParent(this)); frame && frame->GetStatusBar())
        frame->SetStatusText(wxString::FromUTF8(text), static_cast<int>(field));
}

void CViewWindow::ShowScrollBar(bool shown, int64_t position, int64_t page, int64_t range)
{
    if (m_scrollBar == nullptr)
        return;
    if (shown)
        m_scrollBar->SetScrollbar(static_cast<int>(position), static_cast<int>(page), static_cast<int>(range),
                                  static_cast<int>(std::max<int64_t>(page, 1)));
    if (shown == m_scrollShown)
        return;
    // The bar takes its row from the picture, which is drawn again at the
    // new height.
    m_scrollShown = shown;
    m_scrollBar->Show(shown);
    GetParent()->Layout();
    // A paint of its own after the new layout, so that the border is drawn
    // as in every other paint.
    Refresh(false);
}

wxString CViewWindow::Caption() { return wxTheApp ? wxTheApp->GetAppDisplayName() : wxString(); }

bool CViewWindow::AskYesNo(const std::string& question)
{
    return wxMessageBox(wxString::FromUTF8(question), Caption(), wxYES_NO | wxICON_QUESTION, this) == wxYES;
}

SaveAnswer CViewWindow::AskSaveRecording()
{
    wxMessageDialog question(wxGetTopLevelParent(this), "Save the recording?", Caption(),
                             wxYES_NO | wxCANCEL | wxYES_DEFAULT | wxICON_QUESTION);
    question.SetYesNoCancelLabels("&Save", "Do&n't save", "&Cancel");
    switch (question.ShowModal()) {
    case wxID_YES: return SaveAnswer::Save;
    case wxID_NO: return SaveAnswer::DontSave;
    default: return SaveAnswer::Cancel;
    }
}

bool CViewWindow::SaveRecordingAs() { return SaveRecording(); }

void CViewWindow::ShowSessionName(const std::string& name)
{
    wxWindow* top = wxGetTopLevelParent(this);
    if (top == nullptr)
        return;
    // The program's own title, as the window was made with it.
    if (m_programTitle.empty())
        m_programTitle = top->GetLabel();
    top->SetLabel(name.empty() ? m_programTitle : wxString::FromUTF8(name + " \xE2\x80\x93 ") + m_programTitle);
}

wxString CViewWindow::DialogFolder() const
{
    if (m_view && !m_view->FileFolder().empty())
        return wxString::FromUTF8(m_view->FileFolder());
    return wxGetHomeDir();
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

void CViewWindow::SetPlayTimer(int milliseconds)
{
    m_playTimer.Start(milliseconds);
}

void CViewWindow::KillPlayTimer()
{
    m_playTimer.Stop();
}

void CViewWindow::SetReviewTimer(int milliseconds)
{
    m_reviewTimer.Start(milliseconds);
}

void CViewWindow::KillReviewTimer()
{
    m_reviewTimer.Stop();
}

void CViewWindow::RequestPaintColumns(int left, int right)
{
    RefreshRect(wxRect(left, 0, right - left + 1, GetClientSize().y), false);
}

void CViewWindow::ShowMessage(const std::string& text)
{
    wxMessageBox(wxString::FromUTF8(AsSentence(text)), Caption(), wxOK | wxICON_EXCLAMATION, this);
}

bool CViewWindow::RunConfigDialog(ConfigValues& values)
{
    CConfigDlg dlg(wxGetTopLevelParent(this));
    dlg.m_refresh = values.refresh;
    dlg.m_sampling = values.sampling;
    dlg.m_timescale = values.timescale;
    dlg.m_waveform = values.waveform;
    dlg.m_palette = values.palette;
    dlg.m_lowLatency = values.lowLatency;
    dlg.m_inputs = values.inputs;
    dlg.m_input = values.input;
    dlg.m_history = values.history;
    if (dlg.ShowModal() != wxID_OK)
        return false;
    values.refresh = dlg.m_refresh;
    values.sampling = dlg.m_sampling;
    values.timescale = dlg.m_timescale;
    values.waveform = dlg.m_waveform;
    values.palette = dlg.m_palette;
    values.lowLatency = dlg.m_lowLatency;
    values.inputs = dlg.m_inputs;
    values.input = dlg.m_input;
    values.history = dlg.m_history;
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
    const wxRect box = GetUpdateRegion().GetBox();
    m_view->OnPaint(box.GetLeft(), box.GetRight());

    const int width = std::min(m_view->ShownWidth(), GetClientSize().x);
    const int height = std::min(m_view->ShownHeight(), GetClientSize().y);
    if (width <= 0 || height <= 0 || m_view->ShownRgb() == nullptr)
        return;

    m_blitter.Draw(dc, m_view->ShownRgb(), static_cast<int>(m_view->ShownStride()), width, height,
                   GetUpdateRegion().GetBox());
    DrawPictureTexts(dc);
}

void CViewWindow::DrawPictureTexts(wxDC& dc)
{
    // Light grey on the black of an empty or quiet picture, in the desktop's
    // own font, with a dark edge so that it reads over colour too.
    dc.SetFont(GetFont());
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    for (const PictureText& t : m_view->PictureTexts()) {
        const wxString text = wxString::FromUTF8(t.text);
        wxPoint at(t.x, t.y);
        if (t.centred) {
            const wxSize extent = dc.GetTextExtent(text);
            at -= wxPoint(extent.x / 2, extent.y / 2);
        }
        dc.SetTextForeground(*wxBLACK);
        dc.DrawText(text, at + wxPoint(1, 1));
        dc.SetTextForeground(wxColour(210, 210, 210));
        dc.DrawText(text, at);
    }
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

void CViewWindow::OnKeyDown(wxKeyEvent& event)
{
    // Ctrl+= zooms in as Ctrl++ does, for keyboards whose plus needs Shift.
    if (event.GetModifiers() == wxMOD_CONTROL && event.GetKeyCode() == '=' && m_view) {
        m_view->ZoomIn();
        return;
    }
    if (!ForwardKey(event.GetKeyCode()))
        event.Skip();
}

void CViewWindow::OnWheelEvent(wxMouseEvent& event)
{
    const int delta = std::max(event.GetWheelDelta(), 1);
    if (event.GetWheelAxis() == wxMOUSE_WHEEL_VERTICAL && m_view)
        m_view->OnWheel(event.GetWheelRotation() / delta);
}

void CViewWindow::OnMouseEvent(wxMouseEvent& event)
{
    event.Skip();
    if (!m_view)
        return;
    if (event.Leaving())
        m_view->OnPointerLeave();
    else if (event.LeftDown())
        m_view->OnPictureClick(event.GetX(), event.GetY());
    else
        m_view->OnPointerMove(event.GetX(), event.GetY());
}

void CViewWindow::OnScrollEvent(wxScrollEvent& event)
{
    if (m_view)
        m_view->OnScrollTo(event.GetPosition());
}

std::string CViewWindow::ChosenPath(const wxFileDialog& dialog, const std::vector<std::string>& extensions)
{
    const int index = dialog.GetFilterIndex();
    const std::string extension =
        index >= 0 && index < static_cast<int>(extensions.size()) ? extensions[static_cast<size_t>(index)] : "";
    const std::optional<std::string> path =
        NameToWrite(dialog.GetPath().utf8_string(), extension, [this](const std::string& name) {
            wxMessageDialog question(wxGetTopLevelParent(this),
                                     wxString::FromUTF8("A file named \u201C" + name +
                                                        "\u201D already exists. Do you want to replace it?"),
                                     Caption(), wxYES_NO | wxNO_DEFAULT | wxICON_QUESTION);
            question.SetYesNoLabels("&Replace", "&Cancel");
            return question.ShowModal() == wxID_YES;
        });
    return path.value_or(std::string());
}

bool CViewWindow::SaveRecording()
{
    wxFileDialog dialog(wxGetTopLevelParent(this), "Save recording", DialogFolder(),
                        wxString::FromUTF8(SuggestedRecordingName(std::time(nullptr))),
                        "WAV sound (*.wav)|*.wav|FLAC sound (*.flac)|*.flac",
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK || !m_view)
        return false;
    m_view->RememberFileFolder(dialog.GetPath().utf8_string());
    const std::string path = ChosenPath(dialog, {"wav", "flac"});
    if (path.empty())
        return false;
    const std::string failure = m_view->SaveRecording(path);
    if (!failure.empty())
        ShowMessage(failure);
    return failure.empty();
}

void CViewWindow::SavePicture()
{
    wxFileDialog dialog(wxGetTopLevelParent(this), "Save picture", DialogFolder(), "picture.png",
                        "PNG picture (*.png)|*.png", wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK || !m_view)
        return;
    const std::string path = ChosenPath(dialog, {"png"});
    if (path.empty())
        return;
    m_view->RememberFileFolder(dialog.GetPath().utf8_string());
    const std::string failure = m_view->SavePicture(path);
    if (!failure.empty())
        ShowMessage(failure);
}

void CViewWindow::TogglePitchLine()
{
    m_view->SetPitchLine(!m_view->Settings().pitchLine);
    // The check mark follows the view, however the command came.
    if (auto* frame = dynamic_cast<wxFrame*>(wxGetTopLevelParent(this)); frame && frame->GetMenuBar())
        frame->GetMenuBar()->Check(ID_PITCH_LINE, m_view->Settings().pitchLine);
}

void CViewWindow::OnTimerEvent(wxTimerEvent&)
{
    if (m_view)
        m_view->OnTimer();
}

void CViewWindow::OnPlayTimerEvent(wxTimerEvent&)
{
    if (m_view)
        m_view->OnPlayTimer();
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
    case ID_RECORD_START:
        if (!Busy(true))
            m_view->OnStart();
        break;
    case ID_RECORD_PAUSE: m_view->OnPause(); break;
    case ID_CONFIGURE:
        if (!Busy())
            m_view->OnConfigure();
        break;
    case ID_SAVE_RECORDING: SaveRecording(); break;
    case ID_SAVE_PICTURE: SavePicture(); break;
    case ID_PITCH_LINE: TogglePitchLine(); break;
    case ID_TARGET_NOTE: ChooseTargetNote(); break;
    case ID_FOLLOW_TIMING: ToggleFollowTiming(); break;
    case ID_PROGRESS_REPORT: SaveProgressReport(); break;
    case ID_NEW_SESSION:
        if (!Busy())
            m_view->NewSession();
        break;
    case ID_OPEN_RECORDING: ChooseRecording(); break;
    case ID_EXPORT_FRAMES: ExportFrameData(); break;
    case ID_OPEN_MODEL: ChooseModel(); break;
    case ID_KEYS_AND_COLOURS: ShowKeysAndColours(); break;
    case ID_CLOSE_MODEL:
        if (!Busy())
            m_view->CloseModel();
        break;
    case ID_ZOOM_OUT: m_view->ZoomOut(); break;
    case ID_ZOOM_IN: m_view->ZoomIn(); break;
    default: event.Skip(); break;
    }
}

}  // namespace vocalume
