#include "background_job.h"

#include <wx/frame.h>
#include <wx/window.h>

#include "view_host.h"

namespace vocalume {
namespace {

constexpr int kTickMs = 100;
// Work that ends within this many ticks never shows in the status bar.
constexpr int kQuietTicks = 5;

wxFrame* FrameOf(wxWindow* window)
{
    auto* frame = dynamic_cast<wxFrame*>(wxGetTopLevelParent(window));
    return frame != nullptr && frame->GetStatusBar() != nullptr ? frame : nullptr;
}

}  // namespace

CBackgroundJob::CBackgroundJob(wxWindow* window, std::function<void()> restore)
    : m_window(window), m_restore(std::move(restore)), m_timer(this)
{
    Bind(wxEVT_TIMER, &CBackgroundJob::OnTick, this);
}

CBackgroundJob::~CBackgroundJob()
{
    m_timer.Stop();
    m_stop.store(true);
    if (m_thread.joinable())
        m_thread.join();
}

void CBackgroundJob::Start(const std::string& label, Work work, Done done, Holds holds)
{
    if (Running())
        return;
    m_holds = holds;
    m_label = label;
    m_done = std::move(done);
    m_stop.store(false);
    m_finished.store(false);
    m_percent.store(0);
    m_ticks = 0;
    m_thread = std::thread([this, work = std::move(work)] {
        m_result = work([this](double share) {
            if (share >= 0)
                m_percent.store(static_cast<int>(share * 100.0));
            return !m_stop.load();
        });
        m_finished.store(true, std::memory_order_release);
    });
    m_timer.Start(kTickMs);
}

void CBackgroundJob::ShowProgress(bool shown)
{
    wxFrame* frame = FrameOf(m_window);
    if (frame == nullptr)
        return;
    // The state field is lent to the job and handed back with what the view
    // last put there. The share done comes first, so that a narrow field
    // still shows it.
    const std::string text = std::to_string(m_percent.load()) + " % \xC2\xB7 " + m_label + "\xE2\x80\xA6";
    const bool was = m_shown;
    m_shown = shown;
    if (shown && text != m_shownText)
        frame->SetStatusText(wxString::FromUTF8(text), static_cast<int>(StatusField::State));
    else if (!shown && was && m_restore)
        m_restore();
    m_shownText = shown ? text : std::string();
}

void CBackgroundJob::OnTick(wxTimerEvent&)
{
    if (!m_finished.load(std::memory_order_acquire)) {
        if (++m_ticks >= kQuietTicks)
            ShowProgress(true);
        return;
    }
    m_timer.Stop();
    m_thread.join();
    ShowProgress(false);
    // The completion may start another job.
    Done done = std::move(m_done);
    m_done = nullptr;
    if (done)
        done(m_stop.load() ? std::string(kAnalysisStopped) : m_result);
}

}  // namespace vocalume
