// The window's commands that replace or export the whole session: File >
// Open recording (also the command line and a file dropped on the window)
// and File > Export frame data. Both analyse in the background through the
// shared file analysis, so the window's own view only waits, paused.
#include <memory>

#include <wx/dnd.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/utils.h>

#include "analysis_view.h"
#include "background_job.h"
#include "file_analysis.h"
#include "file_decoder.h"
#include "session_history.h"
#include "view_window.h"
#include "whole_file.h"

namespace vocalume {
namespace {

// A sound file dropped on the picture is opened as the session.
class SoundFileDropTarget final : public wxFileDropTarget {
public:
    explicit SoundFileDropTarget(CViewWindow& window) : m_window(window) {}

    bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& files) override
    {
        if (files.empty())
            return false;
        // Opened once the drop is over, so that the source application is
        // not kept waiting by the question or the analysis.
        const std::string path = files[0].utf8_string();
        CViewWindow* window = &m_window;
        window->CallAfter([window, path] { window->OpenRecording(path); });
        return true;
    }

private:
    CViewWindow& m_window;
};

}  // namespace

void CViewWindow::AcceptDroppedFiles() { SetDropTarget(new SoundFileDropTarget(*this)); }

bool CViewWindow::Busy(bool recording)
{
    if (!m_job->Running() || (recording && !m_job->HoldsSession()))
        return false;
    wxBell();
    return true;
}

void CViewWindow::ChooseRecording()
{
    if (!m_view || Busy())
        return;
    // Asked before the file is chosen, so that a save is not in the way of
    // the file dialog; stopped first, so that it is about what is recorded.
    if (!m_view->MayDropSession())
        return;
    const std::string path = AskSoundFile("Open recording");
    if (!path.empty())
        StartOpening(path);
}

std::string CViewWindow::AskSoundFile(const char* title)
{
    wxFileDialog dialog(wxGetTopLevelParent(this), title, DialogFolder(), wxEmptyString,
                        "Sound files (*.wav;*.flac;*.ogg;*.aiff;*.aif;*.au;*.caf;*.mp3)|"
                        "*.wav;*.WAV;*.flac;*.FLAC;*.ogg;*.OGG;*.aiff;*.aif;*.AIFF;*.AIF;*.au;*.caf;*.mp3;*.MP3|"
                        "All files (*)|*",
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK)
        return {};
    const std::string path = dialog.GetPath().utf8_string();
    if (m_view)
        m_view->RememberFileFolder(path);
    return path;
}

void CViewWindow::OpenRecording(const std::string& path)
{
    if (!m_view || Busy() || !m_view->MayDropSession())
        return;
    StartOpening(path);
}

void CViewWindow::StartOpening(const std::string& path)
{
    AnalysisOptions options = WholeAnalysisOptions(*m_view);
    options.session = true;
    // Any length opens: its last minutes, as many as the session keeps.
    options.keepMinutes = m_view->Settings().historyMinutes;
    auto picture = std::make_shared<RenderedPicture>();
    const std::string name = wxFileName(wxString::FromUTF8(path)).GetFullName().utf8_string();
    m_job->Start(
        "Opening " + name,
        [path, options, picture](const AnalysisProgress& progress) {
            // The window never waits on a file: a pipe or a device is refused
            // before anything reads it.
            if (std::string refused = CheckSoundFileToOpen(path); !refused.empty())
                return refused;
            return AnalyseSoundFile(path, options, *picture, progress);
        },
        [this, picture, name](const std::string& result) {
            // Cancelled: nothing changes. Failed: the session stays as it was.
            if (result == kAnalysisStopped || !m_view)
                return;
            if (!result.empty() || !picture->session) {
                ShowMessage(result.empty() ? "The file holds no sound." : result);
                return;
            }
            m_view->AdoptSession(std::move(*picture->session), name);
            if (!picture->note.empty())
                ShowMessage(picture->note);
        });
}

void CViewWindow::ExportFrameData()
{
    if (!m_view || Busy())
        return;
    if (m_view->Session().EndSample() == m_view->Session().FirstSample()) {
        ShowMessage("The session holds no sound yet: there are no frames to export.");
        return;
    }
    wxFileDialog dialog(wxGetTopLevelParent(this), "Export frame data", DialogFolder(), "frames.csv",
                        "Comma-separated table (*.csv)|*.csv", wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK || !m_view)
        return;
    m_view->RememberFileFolder(dialog.GetPath().utf8_string());
    const std::string path = ChosenPath(dialog, {"csv"});
    if (path.empty())
        return;
    // Said before the analysis rather than after it.
    if (const std::string refused = CheckFileWritable(path); !refused.empty()) {
        ShowMessage(refused);
        return;
    }
    // The sound as it stands now; recording may go on meanwhile.
    SoundChunks sound = m_view->Session().Sound();
    AnalysisOptions options = WholeAnalysisOptions(*m_view);
    options.tooLongFor = "to export";
    options.tooLongAdvice = "Save the recording, cut it shorter with a sound editor, and make its table with "
                            "vocalume-render --csv.";
    m_job->Start(
        "Exporting frame data",
        [sound = std::move(sound), options, path](const AnalysisProgress& progress) mutable {
            std::string problem = ExportFrameTable(std::move(sound), options, path, progress);
            if (!problem.empty() && problem != kAnalysisStopped)
                problem = "The frame data could not be exported: " + problem;
            return problem;
        },
        [this](const std::string& result) {
            if (!result.empty() && result != kAnalysisStopped)
                ShowMessage(result);
        });
}

}  // namespace vocalume
