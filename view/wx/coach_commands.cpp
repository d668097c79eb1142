// The window's coach commands: View > Follow my timing, and File > Progress
// report..., which asks for a file name and has the view write the report.
#include <wx/filedlg.h>
#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/timer.h>

#include "analysis_view.h"
#include "view_window.h"

namespace vocalume {

void CViewWindow::OnReviewTimerEvent(wxTimerEvent&)
{
    if (m_view)
        m_view->OnReviewTimer();
}

void CViewWindow::ToggleFollowTiming()
{
    m_view->SetFollowTiming(!m_view->Settings().followTiming);
    // The check mark follows the view, however the command came.
    if (auto* frame = dynamic_cast<wxFrame*>(wxGetTopLevelParent(this)); frame && frame->GetMenuBar())
        frame->GetMenuBar()->Check(ID_FOLLOW_TIMING, m_view->Settings().followTiming);
}

void CViewWindow::SaveProgressReport()
{
    wxFileDialog dialog(wxGetTopLevelParent(this), "Save progress report", wxEmptyString, "progress.html",
                        "Web page (*.html)|*.html", wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK || !m_view)
        return;
    wxString path = dialog.GetPath();
    if (!path.Lower().EndsWith(".html") && !path.Lower().EndsWith(".htm"))
        path += ".html";
    const std::string failure = m_view->WriteProgressReport(path.utf8_string());
    if (!failure.empty())
        ShowMessage(failure);
}

}  // namespace vocalume
