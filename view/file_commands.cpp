#include "file_commands.h"

#include <utility>

#include "analysis_view.h"
#include "session_history.h"
#include "view_host.h"

namespace vocalume {

std::optional<FileWork> BeginOpenRecording(CAnalysisView& view, ViewHost& host, const std::string& name)
{
    view.OnPause();
    if (view.Session().HasUnsavedSound() && !host.AskYesNo("Discard the recording so far?"))
        return std::nullopt;
    FileWork work{"Opening " + name, WholeAnalysisOptions(view), {}};
    work.options.session = true;
    work.options.tooLongFor = "to open";
    return work;
}

void EndOpenRecording(CAnalysisView& view, ViewHost& host, const std::string& result,
                      std::optional<SessionHistory> session)
{
    if (result == kAnalysisStopped)
        return;
    if (!result.empty() || !session) {
        host.ShowMessage(result.empty() ? "The file holds no sound." : result);
        return;
    }
    view.AdoptSession(std::move(*session));
}

FileWork BeginOpenModel(const CAnalysisView& view, const std::string& name)
{
    return {"Opening the model " + name, WholeAnalysisOptions(view), {}};
}

void EndOpenModel(CAnalysisView& view, ViewHost& host, const std::string& result, std::optional<SessionHistory> model,
                  const std::string& name, const std::string& path)
{
    if (result == kAnalysisStopped)
        return;
    if (!result.empty() || !model) {
        host.ShowMessage("The model could not be opened: " + (result.empty() ? name + " holds no sound" : result) +
                         ".");
        return;
    }
    view.SetModel(std::move(*model), name, path);
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
    return {"Exporting frame data", WholeAnalysisOptions(view), view.Session().Sound()};
}

void EndExportFrames(ViewHost& host, const std::string& result)
{
    if (!result.empty() && result != kAnalysisStopped)
        host.ShowMessage("The frame data could not be exported: " + result);
}

}  // namespace vocalume
