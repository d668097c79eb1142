// The analysis view's window in the desktop program: it fills the main
// frame's client area, shows the view's retained picture, and carries the
// view's timer, messages, dialog and sound-buffer notices. It is the view's
// host; everything else it does is to hand window events to the view.
//
// Threads: PostBufferDone may be called on the sound thread; everything else
// runs on the user-interface thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <wx/timer.h>
#include <wx/window.h>

class wxFileDialog;
class wxDC;
class wxScrollBar;
class wxScrollEvent;

#include "picture_blit.h"
#include "view_host.h"

namespace vocalume {

class CAnalysisView;
class CBackgroundJob;

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

    // Opens the sound file `path` as the session, in the background (see
    // session_file_commands.cpp): File > Open recording, the command line and
    // a file dropped on the window.
    void OpenRecording(const std::string& path);

    // The scroll bar under the picture, shown while looking back is possible;
    // owned by the parent, which lays the two out.
    void SetScrollBar(wxScrollBar* bar);

    // Opens the sound file `path` as the model, in the background (see
    // model_commands.cpp), or, with an empty path, the model remembered from
    // the last run if its file is still there. A file that cannot be read is
    // told in a message box and changes nothing.
    void OpenModel(const std::string& path = {});

    // ViewHost
    void RequestPaint() override;
    void SetPauseTimer(int milliseconds) override;
    void KillPauseTimer() override;
    void SetPlayTimer(int milliseconds) override;
    void KillPlayTimer() override;
    void SetReviewTimer(int milliseconds) override;
    void KillReviewTimer() override;
    void RequestPaintColumns(int left, int right) override;
    void ShowMessage(const std::string& text) override;
    bool RunConfigDialog(ConfigValues& values) override;
    bool RunTargetDialog(TargetValues& values) override;
    void PostBufferDone() override;
    void SetStatusText(StatusField field, const std::string& text) override;
    void ShowScrollBar(bool shown, int64_t position, int64_t page, int64_t range) override;
    bool AskYesNo(const std::string& question) override;
    SaveAnswer AskSaveRecording() override;
    bool SaveRecordingAs() override;
    void ShowSessionName(const std::string& name) override;

private:
    void OnKeyDown(wxKeyEvent& event);
    void OnWheelEvent(wxMouseEvent& event);
    // Pointer moves, leaving and left clicks over the picture.
    void OnMouseEvent(wxMouseEvent& event);
    void OnScrollEvent(wxScrollEvent& event);
    // File > Save recording: true when the recording was saved.
    bool SaveRecording();
    void SavePicture();
    // The path a save dialog's answer is written to (see save_name.h);
    // empty when the user declined to replace a file under the name the
    // program added. `extensions` are the dialog's types', in order.
    std::string ChosenPath(const wxFileDialog& dialog, const std::vector<std::string>& extensions);
    // The program's name, the caption of its message boxes.
    static wxString Caption();
    void TogglePitchLine();
    // View > Target note... (target_dialog.cpp).
    void ChooseTargetNote();
    // View > Follow my timing and File > Progress report... (see
    // coach_commands.cpp).
    void ToggleFollowTiming();
    void SaveProgressReport();
    void ChooseRecording();
    // Opens `path` as the session in the background, the user having agreed
    // that the session's sound may go.
    void StartOpening(const std::string& path);
    // Asks for a sound file to open, in a dialog titled `title`; empty when
    // the user cancels.
    std::string AskSoundFile(const char* title);
    void AcceptDroppedFiles();
    void ExportFrameData();
    // True (after a short beep) while opening or exporting runs: the session
    // must not change under it. With `recording`, for Start and Pause, which
    // go on while a model opens.
    bool Busy(bool recording = false);
    // View > Model...: a sound file chosen by the user becomes the model.
    void ChooseModel();
    void OnPaintEvent(wxPaintEvent& event);
    // The view's texts over the picture (the lanes' names, the first hint).
    void DrawPictureTexts(wxDC& dc);
    // Where a file dialog opens: the folder a file was last chosen in, the
    // home folder the first time.
    wxString DialogFolder() const;
    // Help > Keys and colours.
    void ShowKeysAndColours();
    void OnSizeEvent(wxSizeEvent& event);
    void OnCharEvent(wxKeyEvent& event);
    void OnTimerEvent(wxTimerEvent& event);
    void OnPlayTimerEvent(wxTimerEvent& event);
    void OnReviewTimerEvent(wxTimerEvent& event);
    void OnBufferDone(wxThreadEvent& event);
    void OnCommand(wxCommandEvent& event);

    // The view shown, until DetachView; it outlives the window or is
    // detached before it goes.
    CAnalysisView* m_view;
    wxTimer m_pauseTimer;
    wxTimer m_playTimer;
    wxTimer m_reviewTimer;
    PictureBlitter m_blitter;
    wxScrollBar* m_scrollBar = nullptr;
    bool m_scrollShown = false;
    std::unique_ptr<CBackgroundJob> m_job;
    // Tries the remembered model again once another job has ended.
    std::unique_ptr<wxTimer> m_modelRetry;
    // What the view last put in the status bar's state field (shown again
    // when a job's progress no longer takes it).
    std::string m_stateText;
    // The frame's title before a session's file was named in it.
    wxString m_programTitle;
};

}  // namespace vocalume
