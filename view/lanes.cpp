#include "lanes.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace vocalume {

Lanes::Lanes(ColumnSurface& sessionPicture, const LookingBack& lookingBack, const ViewSettings& settings)
    : m_sessionPicture(sessionPicture), m_lookingBack(lookingBack), m_settings(settings)
{}

void Lanes::LayOut(int32_t width, int32_t height)
{
    m_clientWidth = width;
    m_clientHeight = height;
    if (!HasModel()) {
        m_sessionPicture.Resize(width, height);
        return;
    }
    const LaneSplit split = SplitLanes(height);
    m_sessionPicture.Resize(width, split.lower);
    m_model.Resize(width, split.upper);
}

LaneRows Lanes::Rows() const
{
    LaneRows rows;
    rows.sessionHeight = m_sessionPicture.Height();
    if (HasModel()) {
        rows.modelHeight = m_model.Surface().Height();
        rows.sessionTop = rows.modelHeight + 1;
    }
    return rows;
}

void Lanes::SetModel(SessionHistory model, const std::string& name, const std::string& path)
{
    m_model.Set(std::move(model), name, path);
    LayOut(m_clientWidth, m_clientHeight);
}

void Lanes::CloseModel()
{
    if (!HasModel())
        return;
    m_model.Clear();
    LayOut(m_clientWidth, m_clientHeight);
}

int64_t Lanes::ModelPlayFrom(int32_t column) const
{
    int64_t from = column >= 0 ? ModelFrameAt(column) : -1;
    for (int32_t x = 0; from < 0 && x < m_sessionPicture.Width(); ++x)
        from = ModelFrameAt(x);
    return std::max(from, m_model.Model()->FirstFrame());
}

void Lanes::Draw(const Canvas& canvas)
{
    m_model.Show(m_lookingBack.RightFrame(), m_settings.Style());
    const ColumnSurface& lane = m_model.Surface();
    PixelImage shown = canvas.image;
    const size_t laneBytes = std::min(lane.Stride(), shown.stride);
    uint8_t* row = shown.pixels;
    for (int32_t y = 0; y < canvas.rows.modelHeight; ++y, row += shown.stride) {
        std::memcpy(row, lane.Pixels() + lane.Stride() * static_cast<size_t>(y), laneBytes);
        std::memset(row + laneBytes, 0, shown.stride - laneBytes);
    }
    for (int32_t x = 0; x < shown.width; ++x)
        shown.Set(x, canvas.rows.modelHeight, kLaneSeparator);
}

}  // namespace vocalume
