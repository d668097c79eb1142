#include "file_commands.h"

#include <utility>

#include "analysis_view.h"
#include "session_history.h"
#include "view_host.h"

namespace vocalume {

std::optional<FileWork> BeginOpenRecording(CAnalysisView& view, const std::string& name)
{
    if (!view.MayDropSession())
        return std::nullopt;
    return OpenRecordingWork(view, name);
}

FileWork OpenRecordingWork(const CAnalysisView& view, const std::string& name)
{
    FileWork work{"Opening " + name, WholeAnalysisOptions(view), {}};
    work.options.session = true;
    work.options.keepMinutes = view.Settings().historyMinutes;
    return work;
}

void EndOpenRecording(CAnalysisView& view, ViewHost& host, const std::string& result,
                      std::optional<SessionHistory> session, const std::string& name, const std::string& note)
{
    if (result == kAnalysisStopped)
        return;
    if (!result.empty() || !session) {
        host.ShowMessage(result.empty() ? "The file holds no sound." : result);
        return;
    }
    view.AdoptSession(std::move(*session), name);
    if (!note.empty())
        host.ShowMessage(note);
}

FileWork BeginOpenModel(const CAnalysisView& view, const std::string& name)
{
    return {"Opening the model " + name, WholeAnalysisOptions(view), {}};
}

void EndOpenModel(CAnalysisView& view, ViewHost& host, const std::string& result, std::optional<SessionHistory> model,
                  const std::string& name, const std::string& path, bool remembered, const std::string& note)
{
    if (result == kAnalysisStopped)
        return;
    if (!result.empty() || !model) {
        const std::string why = result.empty() ? "The file " + name + " holds no sound." : result;
        if (remembered) {
            view.ForgetRememberedModel();
            host.SetStatusText(StatusField::Model, "The remembered model could not be opened. " + why);
        } else {
            host.ShowMessage("The model could not be opened. " + why);
        }
        return;
    }
    view.SetModel(std::move(*model), name, path);
    if (!note.empty())
        host.ShowMessage(note);
}

bool CanExportFrames(const CAnalysisView& view, ViewHost& host)
{
    if (view.Session().EndSample() != view.Session().FirstSample())
        return true;
    host.ShowMessage("The session holds no sound yet: there are no frames to export.");
    return false;
}

FileWork BeginExportFrames(const CAnalysisView& view)
{
    FileWork work{"Exporting frame data", WholeAnalysisOptions(view), view.Session().Sound()};
    work.options.tooLongFor = "to export";
    work.options.tooLongAdvice =
        "Save the recording, cut it shorter with a sound editor, and make its table with vocalume-render --csv.";
    return work;
}

void EndExportFrames(ViewHost& host, const std::string& result)
{
    if (!result.empty() && result != kAnalysisStopped)
        host.ShowMessage("The frame data could not be exported: " + result);
}

}  // namespace vocalume
