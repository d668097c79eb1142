// The commands that analyse a whole sound file or the whole session: File >
// Open recording, View > Model… and File > Export frame data. What each asks,
// tells and changes is decided here, once for every host; a host only runs
// the analysis where it can run long work (the desktop window on a thread of
// its own, the browser page in a worker) and hands the result back, showing
// the work's progress meanwhile.
//
// Threads: the window's thread; the work itself runs wherever the host puts
// it and touches nothing of the view.
#pragma once

#include <optional>
#include <string>

#include "file_analysis.h"
#include "sound_chunks.h"

namespace vocalume {

class CAnalysisView;
class ViewHost;

// The analysis a host is to run: the status bar's name for it, its options,
// and (for the frame table) the sound to analyse.
struct FileWork {
    std::string label;
    AnalysisOptions options;
    SoundChunks sound;
};

// Open recording of the file shown as `name`: recording stops first, so that
// "Save the recording?" is asked about what was recorded; none when the user
// cancels or the save failed. The host then runs AnalyseSoundFile with the
// options given: any length opens, its last minutes as many as the session
// keeps.
std::optional<FileWork> BeginOpenRecording(CAnalysisView& view, const std::string& name);
// The same work, once the host has asked (before its file dialog, say).
FileWork OpenRecordingWork(const CAnalysisView& view, const std::string& name);
// Its result: cancelled, nothing changes; failed, the session stays and the
// user is told why; else the session becomes the file's, named `name`, and
// `note` (what was damaged or left out of the file) is told.
void EndOpenRecording(CAnalysisView& view, ViewHost& host, const std::string& result,
                      std::optional<SessionHistory> session, const std::string& name, const std::string& note = {});

// The model from the file shown as `name`: the host runs AnalyseModelFile,
// recording or not.
FileWork BeginOpenModel(const CAnalysisView& view, const std::string& name);
// Its result: cancelled, nothing changes; failed, the model shown stays and
// the user is told why (a model remembered from the last run that cannot be
// read is one note in the model's field, and forgotten: a box at start-up
// would hold up the first keys pressed); else the model is shown, `path`
// remembered and `note` told.
void EndOpenModel(CAnalysisView& view, ViewHost& host, const std::string& result, std::optional<SessionHistory> model,
                  const std::string& name, const std::string& path, bool remembered = false,
                  const std::string& note = {});

// Export frame data: false, with a message, while the session holds no
// sound. Asked before the host asks where to write.
bool CanExportFrames(const CAnalysisView& view, ViewHost& host);
// The sound as it stands now (recording may go on meanwhile), for
// ExportFrameTable.
FileWork BeginExportFrames(const CAnalysisView& view);
void EndExportFrames(ViewHost& host, const std::string& result);

}  // namespace vocalume
