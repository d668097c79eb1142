// The lanes of the picture and the model shown in one of them: without a
// model the session's picture fills the client area; with one, the model
// lane lies on top, then a separator row, then the session's lane. A model's
// arrival or departure lays the lanes out again as a window resize does, so
// that closing the model leaves the very picture a view that never had one
// would show. As a layer of the shown picture it draws the model lane,
// brought to where the session lane stands, and the separator.
//
// Threads: user-interface thread only. The session's retained picture, the
// looking back and the settings are the view's and outlive this.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "column_surface.h"
#include "compositor.h"
#include "looking_back.h"
#include "model_lane.h"
#include "view_settings.h"

namespace vocalume {

class Lanes final : public PictureLayer {
public:
    Lanes(ColumnSurface& sessionPicture, const LookingBack& lookingBack, const ViewSettings& settings);

    // The client area is `width` by `height`: both lanes are made anew.
    void LayOut(int32_t width, int32_t height);
    LaneRows Rows() const;

    bool HasModel() const { return m_model.Active(); }
    const SessionHistory* Model() const { return m_model.Model(); }
    const std::string& ModelName() const { return m_model.Name(); }
    // Shows `model`, named `name` for the user; the lanes are laid out again.
    void SetModel(SessionHistory model, const std::string& name, const std::string& path);
    // Back to the session's lane alone.
    void CloseModel();
    // The status bar's model field.
    std::string StatusText() const { return HasModel() ? "Model: " + ModelName() : std::string(); }

    // The model begins again beside the session frame where a take begins
    // (see ModelLane); before any take, its start is shown at the left edge.
    void TakeBegins(int64_t sessionFrame) { m_model.TakeBegins(sessionFrame); }
    void ForgetTake() { m_model.ForgetTake(); }
    // The session frame where the latest take began; none before any take.
    bool HasTake() const { return m_model.HasTake(); }
    int64_t TakeStart() const { return m_model.TakeStart(); }
    // Follow my timing: the model lane follows the latest take's timing
    // (see ModelLane::FollowTiming); null: the plain timing.
    void FollowTiming(const std::vector<double>* timing) { m_model.FollowTiming(timing); }

    // The model frame the model lane shows at column `x` now (-1: none), and
    // the column that shows model frame `frame` (it may lie outside).
    int64_t ModelFrameAt(int32_t x) const { return m_model.ModelFrameAt(x, m_lookingBack.RightFrame()); }
    int64_t ColumnOfModelFrame(int64_t frame) const { return m_model.ColumnOf(frame, m_lookingBack.RightFrame()); }
    // Where the model plays from: its frame at `column` (the one clicked),
    // else the first one the lane shows, else its start.
    int64_t ModelPlayFrom(int32_t column) const;
    // Whether row `y` of the window lies in the model's lane.
    bool InModelLane(int32_t y) const { return HasModel() && y >= 0 && y < m_model.Surface().Height(); }

    bool Shown() const override { return HasModel(); }
    void Draw(const Canvas& canvas) override;

private:
    ColumnSurface& m_sessionPicture;
    const LookingBack& m_lookingBack;
    const ViewSettings& m_settings;
    ModelLane m_model;
    int32_t m_clientWidth = 0;
    int32_t m_clientHeight = 0;
};

}  // namespace vocalume
