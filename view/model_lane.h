// The model lane: a recording the learner imitates, shown above the session's
// picture on the same time scale. At every Start the model begins again from
// its first frame: its frame k stands beside the session frame k frames after
// the take began, whether the session scrolls live or is looked back through.
// Once a take has been aligned to the model, the lane may follow the take's
// timing instead: each session frame of the take shows the model frame it
// matches, so that the same sounds stand above each other.
// The lane keeps its own retained picture and, when the session moves on by a
// few frames, scrolls it and draws only the new columns.
//
// User-interface thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "column_description.h"
#include "column_surface.h"
#include "file_analysis.h"
#include "session_history.h"

namespace vocalume {

// Grey of the one-pixel row between the model lane and the session lane.
inline constexpr Rgb kLaneSeparator{96, 96, 96};

// How a client area `height` pixels high is shared while a model is shown:
// the model lane on top, one separator row, the session lane below.
struct LaneSplit {
    int32_t upper = 0;  // rows of the model lane (also the separator's row)
    int32_t lower = 0;  // rows of the session lane, from row upper + 1
};
LaneSplit SplitLanes(int32_t height);

// Analyses the sound file `path` as the whole picture does, with `options`
// (the view's, see WholeAnalysisOptions), and on success puts the frames and
// sound into `model`. Returns an empty string, kAnalysisStopped, or why the
// file cannot be a model; `model` is then unchanged. `note`, where given,
// receives what the user should know of a file that was read (see
// RenderedPicture::note). Any thread.
std::string AnalyseModelFile(const std::string& path, AnalysisOptions options, SessionHistory& model,
                             const AnalysisProgress& progress = {}, std::string* note = nullptr);

class ModelLane {
public:
    ModelLane();
    ~ModelLane();

    bool Active() const { return m_model != nullptr; }
    // Shows `model`, named `name` for the user and read from `path`.
    void Set(SessionHistory model, const std::string& name, const std::string& path);
    void Clear();
    const std::string& Name() const { return m_name; }
    const std::string& Path() const { return m_path; }
    const SessionHistory* Model() const { return m_model.get(); }

    // The session frame at which the latest take began (the first frame cut
    // after the Start). Before any take the model's first frame is shown at
    // the lane's left edge, so that the learner sees how it begins.
    void TakeBegins(int64_t sessionFrame);
    void ForgetTake()
    {
        m_hasTake = false;
        FollowTiming(nullptr);
    }
    bool HasTake() const { return m_hasTake; }
    int64_t TakeStart() const { return m_takeStart; }

    // From now on the latest take's frames show the model frames `timing`
    // gives, one for each frame of the take from its first (fractional,
    // never decreasing); past the take's end the model goes on at its own
    // pace. Null: the plain timing again. `timing` must stay as it is until
    // it is replaced or the take forgotten.
    void FollowTiming(const std::vector<double>* timing);
    bool Following() const { return m_timing != nullptr; }

    // The model frame shown at column `x` while the session lane shows
    // session frame `rightSessionFrame` in its right-most column; -1 where the
    // model has no such frame (the lane is black there).
    int64_t ModelFrameAt(int32_t x, int64_t rightSessionFrame) const;
    // The other way: the column showing model frame `frame` (it may lie
    // outside the lane).
    int64_t ColumnOf(int64_t frame, int64_t rightSessionFrame) const;

    // The lane's size; it is drawn again whole at the next Show.
    void Resize(int32_t width, int32_t height);
    // Brings the lane's picture to where the session lane stands, in
    // `style`: scrolled and drawn in its new columns when the session moved
    // on by less than the lane's width, drawn whole otherwise.
    void Show(int64_t rightSessionFrame, const ColumnStyle& style);
    const ColumnSurface& Surface() const { return m_surface; }
    // Columns drawn since the lane was set (for measuring what Show costs).
    int64_t ColumnsDrawn() const { return m_columnsDrawn; }

private:
    int64_t ModelRight(int64_t rightSessionFrame) const;
    // The model frame beside column `x` (it may be none the model has).
    int64_t FrameBeside(int32_t x, int64_t rightSessionFrame) const;
    void DrawColumns(int32_t fromX, int64_t rightSessionFrame, const ColumnStyle& style);

    std::unique_ptr<SessionHistory> m_model;
    std::string m_name;
    std::string m_path;
    bool m_hasTake = false;
    int64_t m_takeStart = 0;
    const std::vector<double>* m_timing = nullptr;
    ColumnSurface m_surface;
    // What the lane's picture shows now: the model frame of its right-most
    // column and the style it was drawn in; none after a resize or a new model.
    bool m_drawn = false;
    int64_t m_drawnRight = 0;
    int64_t m_drawnSessionRight = 0;
    ColumnStyle m_drawnStyle;
    int64_t m_columnsDrawn = 0;
    // The column buffer and beam table of the draws, kept between them.
    std::vector<uint8_t> m_column;
    BeamCosines m_cosines;
};

}  // namespace vocalume
