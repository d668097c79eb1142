// The window's model commands: View > Model... and the model remembered from
// the last run. The model's sound is analysed in the background through the
// shared file analysis while the window goes on, recording or not.
#include <memory>
#include <utility>

#include <wx/filedlg.h>
#include <wx/filename.h>

#include "analysis_view.h"
#include "background_job.h"
#include "file_decoder.h"
#include "file_commands.h"
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
    const std::string name = wxFileName(wxString::FromUTF8(path)).GetFullName().utf8_string();
    const FileWork work = BeginOpenModel(*m_view, name);
    auto model = std::make_shared<SessionHistory>(kDefaultHistoryMinutes);
    auto note = std::make_shared<std::string>();
    const bool remembered = chosen.empty();
    // Recording goes on meanwhile: the model changes nothing of the session.
    m_job->Start(
        work.label,
        [path, options = work.options, model, note](const AnalysisProgress& progress) {
            if (std::string refused = CheckSoundFileToOpen(path); !refused.empty())
                return refused;
            return AnalyseModelFile(path, options, *model, progress, note.get());
        },
        [this, model, note, name, path, remembered](const std::string& result) {
            if (m_view)
                EndOpenModel(*m_view, *this, result, std::move(*model), name, path, remembered, *note);
        },
        CBackgroundJob::Holds::Nothing);
}

}  // namespace vocalume
