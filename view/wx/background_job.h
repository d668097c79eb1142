// One long piece of work on the sound (opening a file, exporting a frame
// table) run on a thread of its own while the window stays responsive. After
// about half a second the status bar shows its progress ("Opening a.wav…
// 40 %"); Esc (Cancel) stops it, and then it changes nothing.
//
// Threads: the work runs on the job's thread and must touch nothing the
// window uses; everything else, the completion included, runs on the
// user-interface thread. The destructor stops the work and waits for it.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include <wx/timer.h>

#include "file_analysis.h"

class wxWindow;

namespace vocalume {

class CBackgroundJob : public wxEvtHandler {
public:
    // What the work does with the progress callback it is handed; returns
    // an empty string, kAnalysisStopped, or why it failed.
    using Work = std::function<std::string(const AnalysisProgress&)>;
    using Done = std::function<void(const std::string&)>;
    // What the work needs left alone while it runs: the session (opening a
    // recording replaces it, exporting reads it), or nothing the window
    // changes by recording (opening a model).
    enum class Holds { Session, Nothing };

    // `window`'s frame shows the progress in the state field; it outlives
    // the job. `restore` puts the field's own text back afterwards.
    CBackgroundJob(wxWindow* window, std::function<void()> restore);
    ~CBackgroundJob() override;

    bool Running() const { return m_thread.joinable(); }
    // Running, and holding the session: recording waits too.
    bool HoldsSession() const { return Running() && m_holds == Holds::Session; }
    // The state field shows the progress now.
    bool ShowingProgress() const { return m_shown; }
    // Begins `work` (none may be running), `label` naming it in the status
    // bar; `done` gets its result once it has ended.
    void Start(const std::string& label, Work work, Done done, Holds holds = Holds::Session);
    // Asks the work to stop at its next progress report.
    void Cancel() { m_stop.store(true); }

private:
    void OnTick(wxTimerEvent& event);
    void ShowProgress(bool shown);

    wxWindow* m_window;
    std::function<void()> m_restore;
    wxTimer m_timer;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    std::atomic<int> m_percent{0};
    std::string m_result;  // written by the work before m_finished
    std::string m_label;
    Done m_done;
    Holds m_holds = Holds::Session;
    int m_ticks = 0;
    bool m_shown = false;
    std::string m_shownText;
};

}  // namespace vocalume
