// The window's model commands: View > Model... and the model remembered from
// the last run. The model's sound is analysed in the background through the
// shared file analysis while the window goes on, recording or not.
#include <memory>

#include <wx/filedlg.h>
#include <wx/filename.h>

#include "analysis_view.h"
#include "background_job.h"
#include "file_decoder.h"
#include "model_lane.h"
#include "session_history.h"
#include "view_window.h"

namespace vocalume {
namespace {

constexpr int kModelRetryMs = 250;

}  // namespace

void CViewWindow::ChooseModel()
{
    if (!m_view || Busy())
        return;
    const std::string path = AskSoundFile("Open model");
    if (!path.empty())
        OpenModel(path);
}

void CViewWindow::OpenModel(const std::string& chosen)
{
    if (!m_view)
        return;
    if (chosen.empty() && m_job->Running()) {
        // The remembered model waits for a file being opened from the
        // command line.
        if (!m_modelRetry) {
            m_modelRetry = std::make_unique<wxTimer>();
            m_modelRetry->Bind(wxEVT_TIMER, [this](wxTimerEvent&) { OpenModel(); });
        }
        m_modelRetry->StartOnce(kModelRetryMs);
        return;
    }
    if (Busy())
        return;
    const std::string path = chosen.empty() ? m_view->RememberedModel() : chosen;
    if (path.empty())
        return;
    const AnalysisOptions options = WholeAnalysisOptions(*m_view);
    auto model = std::make_shared<SessionHistory>(kDefaultHistoryMinutes);
    auto note = std::make_shared<std::string>();
    const std::string name = wxFileName(wxString::FromUTF8(path)).GetFullName().utf8_string();
    const bool remembered = chosen.empty();
    // Recording goes on meanwhile: the model changes nothing of the session.
    m_job->Start(
        "Opening the model " + name,
        [path, options, model, note](const AnalysisProgress& progress) {
            if (std::string refused = CheckSoundFileToOpen(path); !refused.empty())
                return refused;
            return AnalyseModelFile(path, options, *model, progress, note.get());
        },
        [this, model, note, name, path, remembered](const std::string& result) {
            // Cancelled: nothing changes. Failed: the model shown stays.
            if (result == kAnalysisStopped || !m_view)
                return;
            if (!result.empty() && remembered) {
                // At start-up a box would hold up the first keys pressed:
                // one note in the model's field, and the entry is forgotten.
                m_view->ForgetRememberedModel();
                SetStatusText(StatusField::Model, "The remembered model could not be opened. " + result);
                return;
            }
            if (!result.empty()) {
                ShowMessage("The model could not be opened. " + result);
                return;
            }
            m_view->SetModel(std::move(*model), name, path);
            if (!note->empty())
                ShowMessage(*note);
        },
        CBackgroundJob::Holds::Nothing);
}

}  // namespace vocalume
