// The analysis view's window in the desktop program: it fills the main
// frame's client area, shows the view's retained picture, and carries the
// view's timer, messages, dialog and sound-buffer notices. It is the view's
// host; everything else it does is to hand window events to the view.
//
// Threads: PostBufferDone may be called on the sound thread; everything else
// runs on the user-interface thread.
#pragma once

#include <functional>
#include <string>

#include <wx/timer.h>
#include <wx/window.h>

class wxScrollBar;
class wxScrollEvent;

#include "picture_blit.h"
#include "view_host.h"

namespace vocalume {

class CAnalysisView;

class CViewWindow : public wxWindow, public ViewHost {
public:
    // Creates the window as a child of `parent` and does the view's
    // window-creation work. The view must outlive the window or be detached.
    CViewWindow(wxWindow* parent, CAnalysisView& view);
    ~CViewWindow() override;

    // The view is about to be destroyed: from now on window events no longer
    // reach it (its destructor may still use the host).
    void DetachView();

    // Hands a character to the view, as if the window had received it.
    void ForwardChar(int character);
    // Hands a navigation key (arrows, pages, Home, End) to the view; false
    // for other keys.
    bool ForwardKey(int keyCode);

    // The scroll bar under the picture, shown while looking back is possible;
    // owned by the parent, which lays the two out.
    void SetScrollBar(wxScrollBar* bar);

    // Opens the model remembered from the last run, if its file is still
    // there, telling the user only when it is there but cannot be read.
    void ReopenModel();

    // ViewHost
    void RequestPaint() override;
    void SetPauseTimer(int milliseconds) override;
    void KillPauseTimer() override;
    void ShowMessage(const std::string& text) override;
    bool RunConfigDialog(ConfigValues& values) override;
    void PostBufferDone() override;
    void SetStatusText(int field, const std::string& text) override;
    void ShowScrollBar(bool shown, int64_t position, int64_t page, int64_t range) override;
    bool AskYesNo(const std::string& question) override;

private:
    void OnKeyDown(wxKeyEvent& event);
    void OnWheelEvent(wxMouseEvent& event);
    // Pointer moves, leaving and left clicks over the picture.
    void OnMouseEvent(wxMouseEvent& event);
    void OnScrollEvent(wxScrollEvent& event);
    void SaveRecording();
    void SavePicture();
    // View > Model...: a sound file chosen by the user becomes the model.
    void OpenModel();
    // Runs `work` (a model's analysis), showing a progress dialog with a
    // Cancel button once it has taken a moment; returns what `work` returns.
    std::string WithProgress(const std::function<std::string(const std::function<bool(double)>&)>& work);
    void OnPaintEvent(wxPaintEvent& event);
    void OnSizeEvent(wxSizeEvent& event);
    void OnCharEvent(wxKeyEvent& event);
    void OnTimerEvent(wxTimerEvent& event);
    void OnBufferDone(wxThreadEvent& event);
    void OnCommand(wxCommandEvent& event);

    // The view shown, until DetachView; it outlives the window or is
    // detached before it goes.
    CAnalysisView* m_view;
    wxTimer m_pauseTimer;
    PictureBlitter m_blitter;
    wxScrollBar* m_scrollBar = nullptr;
    bool m_scrollShown = false;
};

}  // namespace vocalume
