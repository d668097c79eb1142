#include "main_frame.h"

#include <wx/display.h>
#include <wx/menu.h>
#include <wx/scrolbar.h>
#include <wx/sizer.h>

#include "column_zoom.h"
#include "fitting_status_bar.h"
#include "icons.h"
#include "live_sound_output.h"
#include "live_sound_source.h"
#include "placement.h"
#include "progress_log.h"
#include "view_window.h"

namespace vocalume {
namespace {

// Size of a frame with no stored rectangle; the window system picks the place.
const wxSize kDefaultFrameSize(kDefaultFrameWidth, kDefaultFrameHeight);

DisplayLayout CurrentDisplays()
{
    DisplayLayout layout;
    for (unsigned i = 0; i < wxDisplay::GetCount(); ++i) {
        const wxDisplay display(i);
        const wxRect area = display.GetClientArea();
        if (display.IsPrimary())
            layout.primary = layout.workAreas.size();
        layout.workAreas.push_back(FrameRect{area.x, area.y, area.width, area.height});
    }
    return layout;
}

}  // namespace

CMainFrame::CMainFrame(SettingsStore& store, AnalysisCore& core) : m_store(store)
{
    // The view exists, with its settings read, before any window does.
    // Every take's scores against a model are kept in the user's data folder.
    m_view.emplace(store, core, MakeLiveSoundSource(), ViewOptions{true, true, DefaultProgressLogPath()});
    m_view->SetInputLister(&ListLiveInputs);
    m_view->SetSoundOutput(MakeLiveSoundOutput());
    if (!Create(nullptr, wxID_ANY, kProgramTitle, wxDefaultPosition, kDefaultFrameSize, wxDEFAULT_FRAME_STYLE))
        return;

    CreateMenu();
    // The status bar: the state, the input, the position in the session, the
    // pitch, the model shown and the last take's scores against it.
    // Each field as wide as its text, the spare width shared as below.
    auto* status = new CFittingStatusBar(this, wxID_ANY, wxSTB_DEFAULT_STYLE, {2, 3, 2, 4, 3, 8});
    status->SetFieldsCount(kStatusFields);
    SetStatusBar(status);
    // The picture fills the client area; the scroll bar under it shows only
    // while the session can be looked through.
    auto* bar = new wxScrollBar(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxSB_HORIZONTAL);
    bar->Hide();
    // The keyboard stays with the picture: the bar is for the mouse.
    bar->SetCanFocus(false);
    m_viewWindow = new CViewWindow(this, *m_view);
    m_viewWindow->MoveBeforeInTabOrder(bar);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(m_viewWindow, 1, wxEXPAND);
    column->Add(bar, 0, wxEXPAND);
    SetSizer(column);
    m_viewWindow->SetScrollBar(bar);

    // A stored rectangle is checked against the displays there are now, so
    // that a damaged one can neither hide the frame nor make it huge.
    if (const std::optional<FrameRect> stored = LoadPlacement(m_store)) {
        const FrameRect rect = FitToDisplays(*stored, CurrentDisplays());
        SetSize(rect.left, rect.top, rect.width, rect.height);
        m_placed = wxRect(rect.left, rect.top, rect.width, rect.height);
    } else {
        // The first window fits a small or scaled screen too; the window
        // system picks the place.
        const FrameRect rect = FirstFrameSize(CurrentDisplays());
        SetSize(rect.width, rect.height);
    }
    SetIcons(ProgramIcons());

    Bind(wxEVT_CLOSE_WINDOW, &CMainFrame::OnClose, this);
    Bind(wxEVT_SET_FOCUS, &CMainFrame::OnSetFocus, this);
    Bind(wxEVT_ACTIVATE, &CMainFrame::OnActivate, this);
    Bind(wxEVT_CHAR_HOOK, &CMainFrame::OnCharHook, this);
    Bind(wxEVT_UPDATE_UI, &CMainFrame::OnUpdateCloseModel, this, ID_CLOSE_MODEL);
    Bind(wxEVT_UPDATE_UI, &CMainFrame::OnUpdateZoom, this, ID_ZOOM_OUT, ID_ZOOM_IN);
    // The model of the last run comes back once the frame is on screen, after
    // a file named on the command line has begun opening (it waits for it).
    CallAfter([this] {
        CallAfter([this] {
            if (m_viewWindow)
                m_viewWindow->OpenModel();
        });
    });
}

void CMainFrame::RestorePlacement()
{
    if (LoadMaximised(m_store))
        Maximize(true);
    if (!m_placed)
        return;
    // A window manager places a new window as it likes when it maps it,
    // which may be after the first idle time: the place is asked for then,
    // and again once the frame is first activated, when the manager has
    // mapped it.
    CallAfter([this] { MoveToPlaced(); });
    m_movePending = true;
}

void CMainFrame::MoveToPlaced()
{
    if (!m_placed || IsMaximized())
        return;
    // The toolkit moves a window only to a place other than the one it
    // believes it is at: a step aside first, then the place itself.
    Move(m_placed->GetPosition() + wxPoint(1, 0));
    Move(m_placed->GetPosition());
}

CMainFrame::~CMainFrame()
{
    // The view's destructor stops the device and writes the "config"
    // settings; its window (destroyed after this body) must still be there
    // as its host, but no longer hand it events.
    if (m_viewWindow)
        m_viewWindow->DetachView();
    m_view.reset();
}

void CMainFrame::CreateMenu()
{
    auto* file = new wxMenu;
    file->Append(ID_NEW_SESSION, "&New session\tCtrl+N", "Clear the recording and the picture");
    file->Append(ID_OPEN_RECORDING, "&Open recording...\tCtrl+O", "Open a sound file as the session");
    file->Append(ID_SAVE_RECORDING, "&Save recording...\tCtrl+S", "Save the sound of the session as WAV or FLAC");
    file->Append(ID_SAVE_PICTURE, "Save &picture...\tCtrl+Shift+S", "Save the picture shown now as PNG");
    file->Append(ID_EXPORT_FRAMES, "&Export frame data...", "Save the numbers of every frame of the session as CSV");
    file->Append(ID_PROGRESS_REPORT, "Progress &report...",
                 "Save a web page with charts of every take's scores against its model, day by day");
    file->AppendSeparator();
    file->Append(ID_CONFIGURE, "&Configure", "Configure Analysis Settings");
    file->Append(wxID_EXIT, "E&xit", "Quit the program");

    // GTK offers no command directly on a menu bar, so Start and Pause are
    // each a menu holding the one command: a click or Alt+S/Alt+P and Enter.
    auto* start = new wxMenu;
    // The keys are named, not bound: space toggles, which no menu command does.
    start->Append(ID_RECORD_START, "&Start recording (Space)", "Start recording; space pauses it again");
    auto* pause = new wxMenu;
    pause->Append(ID_RECORD_PAUSE, "&Pause recording (Esc)", "Pause recording");

    auto* view = new wxMenu;
    view->AppendCheckItem(ID_PITCH_LINE, "Pitch &line\tCtrl+L",
                          "Draw the voice's pitch over the picture and read it in the status bar");
    view->Check(ID_PITCH_LINE, m_view->Settings().pitchLine);
    view->Append(ID_TARGET_NOTE, "&Target note...\tCtrl+T",
                 "Draw a note to aim at on the pitch line's scale, and read how far the voice is from it");
    view->Append(ID_ZOOM_OUT, "Zoom &out\tCtrl+-", "Show more seconds on the screen");
    view->Append(ID_ZOOM_IN, "Zoom &in\tCtrl++", "Show fewer seconds, in finer detail");
    view->Append(ID_OPEN_MODEL, "&Model...\tCtrl+M",
                 "Open a sound file as the model to imitate, shown above the live picture");
    view->Append(ID_CLOSE_MODEL, "&Close model", "Show the live picture alone again");
    view->AppendCheckItem(ID_FOLLOW_TIMING, "&Follow my timing",
                          "After a take, draw the model on the take's time axis, so that the same sounds stand "
                          "above each other");
    view->Check(ID_FOLLOW_TIMING, m_view->Settings().followTiming);

    auto* help = new wxMenu;
    help->Append(ID_KEYS_AND_COLOURS, "&Keys and colours", "Every key, and what the colours of the picture mean");
    help->Append(wxID_ABOUT, "&About vocalume...", "Version, makers and home page");
    help->Append(ID_WEB_HOME, "&Web home page", "Go to home web page");

    auto* bar = new wxMenuBar;
    bar->Append(file, "&File");
    bar->Append(start, "&Start!");
    bar->Append(pause, "&Pause!");
    bar->Append(view, "&View");
    bar->Append(help, "&Help");
    SetMenuBar(bar);
}

void CMainFrame::OpenRecording(const std::string& path)
{
    if (m_viewWindow)
        m_viewWindow->OpenRecording(path);
}

bool CMainFrame::TryBefore(wxEvent& event)
{
    if (m_viewWindow && event.GetEventType() == wxEVT_MENU &&
        m_viewWindow->GetEventHandler()->ProcessEventLocally(event))
        return true;
    return wxFrame::TryBefore(event);
}

void CMainFrame::OnClose(wxCloseEvent& event)
{
    // Quitting drops the session: unsaved sound is asked about first.
    if (event.CanVeto() && m_view && !m_view->MayDropSession()) {
        event.Veto();
        return;
    }
    FrameShowState state = FrameShowState::Normal;
    if (IsIconized())
        state = FrameShowState::Minimised;
    else if (IsMaximized())
        state = FrameShowState::Maximised;
    const wxRect rect = GetRect();
    SavePlacement(m_store, state, FrameRect{rect.x, rect.y, rect.width, rect.height});
    Destroy();
}

void CMainFrame::OnUpdateCloseModel(wxUpdateUIEvent& event)
{
    event.Enable(m_view && m_view->HasModel());
}

void CMainFrame::OnUpdateZoom(wxUpdateUIEvent& event)
{
    // Greyed where it would change nothing: all the way out or in.
    const int32_t zoom = m_view ? m_view->Settings().zoom : 1;
    event.Enable(event.GetId() == ID_ZOOM_OUT ? ZoomedOut(zoom) != zoom : ZoomedIn(zoom) != zoom);
}

void CMainFrame::OnSetFocus(wxFocusEvent&)
{
    if (m_viewWindow)
        m_viewWindow->SetFocus();
}

void CMainFrame::OnActivate(wxActivateEvent& event)
{
    if (event.GetActive() && m_movePending) {
        m_movePending = false;
        MoveToPlaced();
    }
    if (event.GetActive() && m_viewWindow)
        m_viewWindow->SetFocus();
    event.Skip();
}

void CMainFrame::OnCharHook(wxKeyEvent& event)
{
    // With the view focused the key arrives as its own character event;
    // from anywhere else in the frame it is handed over here.
    if (m_viewWindow && FindFocus() != m_viewWindow) {
        if (m_viewWindow->ForwardKey(event.GetKeyCode()))
            return;
        const int character = event.GetUnicodeKey();
        if (character != WXK_NONE)
            m_viewWindow->ForwardChar(character);
    }
    event.Skip();
}

}  // namespace vocalume
