// The main frame: the program's window with its menu, holding the analysis
// view and its window as the only pane. It offers every command to the view
// first, keeps the keyboard with the view, and keeps its own placement in the
// settings store between runs.
#pragma once

#include <optional>
#include <string>

#include <wx/frame.h>

#include "analysis_view.h"

namespace vocalume {

class AnalysisCore;
class CViewWindow;

inline constexpr const char* kProgramTitle = "Vocalume - The Sound Prism";

class CMainFrame : public wxFrame {
public:
    // Constructs the view (which reads its settings), creates its window,
    // applies the stored placement and sets the icon. `store` and `core`
    // must outlive the frame.
    CMainFrame(SettingsStore& store, AnalysisCore& core);
    // The view is destroyed (writing its settings) before its window.
    ~CMainFrame() override;

    CAnalysisView& View() { return *m_view; }
    // Once shown: the stored place again (a window manager may have put the
    // frame elsewhere when it appeared), and maximised if it was left so.
    void RestorePlacement();
    // The frame to the stored place (not while maximised).
    void MoveToPlaced();
    // Opens the sound file `path` as the session (the command line's FILE).
    void OpenRecording(const std::string& path);

protected:
    // Commands go to the view before the frame and the application.
    bool TryBefore(wxEvent& event) override;

private:
    void CreateMenu();
    void OnClose(wxCloseEvent& event);
    void OnSetFocus(wxFocusEvent& event);
    void OnActivate(wxActivateEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnUpdateCloseModel(wxUpdateUIEvent& event);
    void OnUpdateZoom(wxUpdateUIEvent& event);

    // The application's store, which outlives the frame.
    SettingsStore& m_store;
    // The stored rectangle as fitted to the displays, when there is one.
    std::optional<wxRect> m_placed;
    // The stored place is asked for again at the first activation.
    bool m_movePending = false;
    std::optional<CAnalysisView> m_view;
    // The only child window, owned by the toolkit and destroyed with the
    // frame, after the view (the frame detaches it from the view first).
    CViewWindow* m_viewWindow = nullptr;
};

}  // namespace vocalume
