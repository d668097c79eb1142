// The analysis view: everything between the sound device and the screen.
// It holds the settings, the framer, the session and the retained picture,
// handles the commands, keys and timers, and talks to its window only through
// ViewHost. It coordinates parts that each do one job: the recording control
// (the device, Start, Pause and its timer), looking back, playing back, the
// lanes and the model, the pitch overlay and readout, the compositor of the
// shown picture, the status bar and the input choice.
//
// Threads: all operations run on the user-interface thread; the device's
// notices reach it through the host (PostBufferDone).
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "guide_text.h"
#include "look_back.h"
#include "settings_store.h"
#include "view_host.h"
#include "view_settings.h"

namespace vocalume {

class AnalysisCore;
class CWaveIn;
class ColumnSurface;
class Framer;
class SessionHistory;
class SoundOutput;
class SoundSource;
struct PaintFields;

// Command identifiers of the view's menu items.
inline constexpr int ID_WEB_HOME = 32771;
inline constexpr int ID_RECORD_START = 32772;
inline constexpr int ID_RECORD_PAUSE = 32773;
inline constexpr int ID_CONFIGURE = 32774;
inline constexpr int ID_SAVE_RECORDING = 32775;
inline constexpr int ID_SAVE_PICTURE = 32776;
inline constexpr int ID_NEW_SESSION = 32777;
inline constexpr int ID_PITCH_LINE = 32780;
inline constexpr int ID_OPEN_RECORDING = 32778;
inline constexpr int ID_EXPORT_FRAMES = 32779;
inline constexpr int ID_OPEN_MODEL = 32781;
inline constexpr int ID_CLOSE_MODEL = 32782;
inline constexpr int ID_KEYS_AND_COLOURS = 32783;
inline constexpr int ID_FOLLOW_TIMING = 32784;
inline constexpr int ID_PROGRESS_REPORT = 32785;
inline constexpr int ID_ZOOM_OUT = 32786;
inline constexpr int ID_ZOOM_IN = 32787;
inline constexpr int ID_TARGET_NOTE = 32788;
// The host's timers: the pause timer (OnTimer), the play timer
// (OnPlayTimer) and the review timer (OnReviewTimer).
inline constexpr int kPauseTimerId = 1;
inline constexpr int kPlayTimerId = 2;
inline constexpr int kReviewTimerId = 3;

// How a view runs its analysis.
struct ViewOptions {
    // False: Start begins no worker thread; whoever drives the view runs the
    // core's scan on its own thread (the render tool, for a reproducible
    // picture).
    bool workerThread = true;
    // False: the session's pitch is not tracked as sound comes (whoever
    // drives the view tracks it itself, as the whole-file analysis does).
    bool trackPitch = true;
    // Where every take's scores against the model are added (see
    // progress_log.h); empty: they are kept nowhere.
    std::string progressLog{};
};

class CAnalysisView {
public:
    // Reads the settings from `store`, fixes the constants, computes the
    // framing and resets the ring of `core`. Records from `source`. `store`
    // and `core` must outlive the view: its destructor writes the settings
    // back and tells the worker to end.
    CAnalysisView(SettingsStore& store, AnalysisCore& core, std::unique_ptr<SoundSource> source,
                  ViewOptions options = {});
    // The same with the settings given (values that cannot work replaced by
    // the defaults) and stored nowhere: a view that analyses a file.
    CAnalysisView(const ViewSettings& settings, AnalysisCore& core, std::unique_ptr<SoundSource> source,
                  ViewOptions options = {});
    // Tells the worker to end, writes the settings back, closes the device.
    ~CAnalysisView();
    // Writes the settings to the store now, as the destructor does: for a
    // host that may be closed without the view being destroyed (a browser
    // tab).
    void SaveSettings();
    CAnalysisView(const CAnalysisView&) = delete;
    CAnalysisView& operator=(const CAnalysisView&) = delete;

    // Window-creation work: remembers the host and computes the framing again.
    // The host must outlive the view, whose destructor may still show a
    // message through it.
    void OnCreate(ViewHost& host);
    // The client area changed size: the picture is rebuilt and redrawn whole.
    void OnSize(int width, int height);
    // Draws the invalid part of the retained picture. The window then copies
    // columns `left` to `right` of the shown picture to the screen (all of
    // it unless told otherwise).
    void OnPaint(int left = 0, int right = std::numeric_limits<int>::max());

    void OnStart();
    // Pause: with a model shown, the take just ended is also aligned to the
    // model and scored in the background; the review timer brings the
    // result, shown in the status bar's scores field and a panel over the
    // picture, and added to the progress log.
    void OnPause();
    void OnTimer();
    void OnReviewTimer();
    // True while a take's review runs.
    bool ReviewingTake() const;
    void OnConfigure();
    void OnChar(int character);
    void RedrawAll();
    void ToggleRecording();
    // The device has news (posted by the host from the sound thread): a
    // capture buffer is done, or the device was lost, in which case the
    // recording pauses, the picture stays and the user is told once why.
    void OnWimData();

    // Looking back through the session, while paused (after the pause timer);
    // ignored otherwise. Start returns to the live picture.
    void OnKey(ViewKey key);
    void OnWheel(int notches);
    void OnScrollTo(int64_t leftFrame);

    // Playing the session back, while paused: P plays from the picture's
    // left edge, or from the column last clicked, to the end, with a play
    // line over the picture that turns the page at the right edge; P again,
    // Esc, or Space (which then records) stop it. The sound goes to `output`,
    // kept by the view; without one, P (and Shift+P with a model shown) says
    // in the status bar that there is no sound output.
    void SetSoundOutput(std::unique_ptr<SoundOutput> output);
    void TogglePlayback();
    // Shift+P: the same for the model's sound, with the line over its lane.
    void ToggleModelPlayback();
    bool IsPlaying() const;
    // The play timer fired: the play line follows the sound heard.
    void OnPlayTimer();

    // Saves the session's sound (".wav" or ".flac") or the picture shown now
    // (PNG). Returns an empty string on success, else why it failed; the
    // session is kept either way. A session without sound is not saved. A
    // saved recording is named in the status bar ("Saved take.wav") and the
    // window's title.
    std::string SaveRecording(const std::string& path);
    std::string SavePicture(const std::string& path) const;
    // Clears the session and the picture once MayDropSession allows it.
    // False when the user keeps it.
    bool NewSession();
    // Before the session's sound would be dropped (a new session, an opened
    // file, quitting): with unsaved sound, recording pauses and the user is
    // asked "Save the recording?"; Save runs Save recording through the
    // host. True when the sound may go now: none was unsaved, it was saved,
    // or the user chose not to save it.
    bool MayDropSession();
    const SessionHistory& Session() const;
    // The session becomes `session` (an opened sound file's): recording
    // stops, the old session is dropped unasked, the new one counts as saved
    // and is kept within the history limit, and the view looks back at its
    // start, its last frame being the end. A Start records on into it.
    // `name`, the file's, is shown in the window's title.
    void AdoptSession(SessionHistory session, const std::string& name = {});
    // Hands out the session, leaving an empty one (the file analysis takes
    // its private view's session this way).
    SessionHistory TakeSession();

    // The model: a recording shown in a lane of its own above the session's
    // picture, on the same time scale, for the learner to imitate. At every
    // Start it begins again from its first frame, beside the take's first
    // frame; looking back moves both lanes together. `name` is shown in the
    // status bar, `path` is remembered as the "[model] file" setting.
    void SetModel(SessionHistory model, const std::string& name, const std::string& path = {});
    // Analyses the sound file `path` as the render tool's whole picture does,
    // on the calling thread, and shows it as the model. Returns an empty
    // string on success, else why not (kAnalysisStopped when `progress`
    // stopped it), the view unchanged. The window analyses in the background
    // instead (AnalyseModelFile) and hands the result to SetModel.
    std::string OpenModel(const std::string& path, const std::function<bool(double)>& progress = {});
    // The remembered model's file, for opening it again at start-up: empty
    // when there is none, a model is shown, or the file is no longer there.
    std::string RememberedModel() const;
    // Back to the session's picture alone, exactly as without a model.
    void CloseModel();
    // The remembered model could not be opened: while no model is shown, it
    // is remembered no more.
    void ForgetRememberedModel();
    bool HasModel() const;
    // The model's sound and frames (for playing it); none without a model.
    const SessionHistory* Model() const;
    const std::string& ModelName() const;

    // Where the Configuration dialog's list of inputs comes from (the live
    // devices); asked afresh each time the dialog opens.
    void SetInputLister(std::function<std::vector<InputChoice>()> lister);

    bool IsRecording() const;

    // The picture the window shows: the retained picture itself, or, while
    // something is drawn over it (lanes, lines), a composed copy of it. Valid
    // until the next paint or resize.
    const uint8_t* ShownRgb() const;
    int ShownWidth() const;
    int ShownHeight() const;
    size_t ShownStride() const;

    // View › Pitch line: the tracker's f0 drawn over the shown picture (never
    // into the retained one), live and looking back, with the pitch readout
    // in the status bar. Stored as the "pitchline" setting.
    void SetPitchLine(bool on);
    // View › Follow my timing: once a take has been reviewed, the model lane
    // is drawn on the take's time axis, so that the same sounds stand above
    // each other. Stored as the "followtiming" setting.
    void SetFollowTiming(bool on);
    // View › Target note…: asks the host for a note to aim at and the cents
    // allowed either side (stored as "targetnote" and "targetcents"), drawn
    // over each lane on the pitch line's scale and read in the readout.
    // Choosing a note turns the pitch line on, on whose scale it is shown.
    void ChooseTargetNote();
    // File › Progress report...: writes the report of the progress log (see
    // progress_report.h) to `path`, whole or not at all. Returns an empty
    // string on success, else why not.
    std::string WriteProgressReport(const std::string& path) const;

    // View › Zoom out and Zoom in: each column stands for 1, 2, 4, 8 or 16
    // frames, in both lanes, live, looking back and playing alike; the
    // picture is drawn anew where it stands. Stored as the "zoom" setting.
    // A zoom not among those changes nothing.
    void ZoomOut();
    void ZoomIn();
    void SetZoom(int32_t framesPerColumn);

    // The session frame the picture's column `x` shows now, live or looking
    // back; -1 for a column that shows none.
    int64_t FrameAtColumn(int x) const;
    // The mouse pointer moved over the picture, left it, or clicked in it
    // (window coordinates of the picture).
    void OnPointerMove(int x, int y);
    void OnPointerLeave();
    void OnPictureClick(int x, int y);

    // Texts the host draws over the shown picture in its own font (they are
    // never part of it, nor of a saved picture): the lanes' names while a
    // model is shown, and until the first take a one-line hint of the keys.
    std::vector<PictureText> PictureTexts() const;

    // For the render tool and tests: the retained picture (the session
    // lane's, rows from the top, 3 bytes a pixel).
    const ColumnSurface& Surface() const;
    const Framer& Framing() const;
    CWaveIn& WaveIn();
    // The fields the painter reads, as they stand now.
    PaintFields Fields() const;
    // The file dialogs open in the folder a file was last chosen in, kept in
    // the settings: `path` is the file chosen.
    // Stored as the "folder" setting of "config" (empty: the home folder).
    void RememberFileFolder(const std::string& path);
    const std::string& FileFolder() const;
    // The settings as they stand now (the dialog's choices, the pitch line,
    // the model's file).
    const ViewSettings& Settings() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace vocalume
