#include "model_lane.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "column_painter.h"
#include "column_zoom.h"

namespace vocalume {

LaneSplit SplitLanes(int32_t height)
{
    if (height <= 0)
        return {};
    LaneSplit split;
    split.upper = (height - 1) / 2;
    split.lower = height - split.upper - 1;
    return split;
}

std::string AnalyseModelFile(const std::string& path, AnalysisOptions options, SessionHistory& model,
                             const AnalysisProgress& progress, std::string* note)
{
    options.whole = true;
    options.session = true;
    options.tooLongFor = "to be a model";
    options.tooLongAdvice = "Choose a shorter model, or cut this one shorter with a sound editor.";
    RenderedPicture picture;
    const std::string failure = AnalyseSoundFile(path, options, picture, progress);
    if (!failure.empty())
        return failure;
    if (!picture.session)
        return SoundFileName(path) + " holds no sound";
    model = std::move(*picture.session);
    if (note != nullptr)
        *note = picture.note;
    return {};
}

ModelLane::ModelLane() : m_column(static_cast<size_t>(kColumnBufferRows) * 4, 0) {}

ModelLane::~ModelLane() = default;

void ModelLane::Set(SessionHistory model, const std::string& name, const std::string& path)
{
    m_model = std::make_unique<SessionHistory>(std::move(model));
    m_name = name;
    m_path = path;
    m_drawn = false;
    m_columnsDrawn = 0;
}

void ModelLane::Clear()
{
    m_model.reset();
    m_name.clear();
    m_path.clear();
    m_drawn = false;
    // The lane's picture goes with the model.
    m_surface.Resize(0, 0);
}

void ModelLane::TakeBegins(int64_t sessionFrame)
{
    m_hasTake = true;
    m_takeStart = sessionFrame;
}

int64_t ModelLane::ModelRight(int64_t rightSessionFrame, int32_t zoom) const
{
    if (!m_hasTake)
        return static_cast<int64_t>(m_surface.Width()) * zoom - 1;
    return rightSessionFrame - m_takeStart;
}

void ModelLane::FollowTiming(const std::vector<double>* timing)
{
    if (timing != nullptr && timing->empty())
        timing = nullptr;
    if (timing == m_timing)
        return;
    m_timing = timing;
    m_drawn = false;
}

int64_t ModelLane::FrameBeside(int32_t x, int32_t i, int64_t rightSessionFrame, int32_t zoom) const
{
    const int64_t fromRight = m_surface.Width() - 1 - x;
    // Before any take the model's columns are its own, its start at the
    // left edge; after, column x's i-th session frame has its model frame.
    if (!m_hasTake)
        return (ColumnOfFrame(ModelRight(rightSessionFrame, zoom), zoom) - fromRight) * zoom + i;
    const int64_t k = (ColumnOfFrame(rightSessionFrame, zoom) - fromRight) * zoom + i - m_takeStart;
    if (m_timing == nullptr || k < 0)
        return k;
    const auto frames = static_cast<int64_t>(m_timing->size());
    if (k < frames)
        return std::llround((*m_timing)[static_cast<size_t>(k)]);
    return std::llround(m_timing->back()) + (k - frames + 1);
}

int64_t ModelLane::ModelFrameAt(int32_t x, int64_t rightSessionFrame, int32_t zoom) const
{
    if (m_model == nullptr || x < 0 || x >= m_surface.Width())
        return -1;
    // The middle one of the column's frames the model has, or the nearest
    // before it.
    int64_t found = -1;
    for (int32_t i = 0; i < zoom; ++i) {
        const int64_t frame = FrameBeside(x, i, rightSessionFrame, zoom);
        if (m_model->HasFrame(frame)) {
            found = frame;
            if (i >= zoom / 2)
                break;
        }
    }
    return found;
}

int64_t ModelLane::ColumnOf(int64_t frame, int64_t rightSessionFrame, int32_t zoom) const
{
    const int64_t rightColumn = m_surface.Width() - 1;
    if (!m_hasTake)
        return ColumnOfFrame(frame, zoom) - ColumnOfFrame(ModelRight(rightSessionFrame, zoom), zoom) + rightColumn;
    if (m_timing == nullptr)
        return ColumnOfFrame(m_takeStart + frame, zoom) - ColumnOfFrame(rightSessionFrame, zoom) + rightColumn;
    // The first frame of the take that shows `frame` or a later one.
    const std::vector<double>& timing = *m_timing;
    const int64_t last = std::llround(timing.back());
    const int64_t k = frame > last ? static_cast<int64_t>(timing.size()) - 1 + (frame - last)
                                   : std::lower_bound(timing.begin(), timing.end(), static_cast<double>(frame) - 0.5) -
                                         timing.begin();
    return ColumnOfFrame(m_takeStart + k, zoom) - ColumnOfFrame(rightSessionFrame, zoom) + rightColumn;
}

void ModelLane::Resize(int32_t width, int32_t height)
{
    m_surface.Resize(width, height);
    m_drawn = false;
}

void ModelLane::Show(int64_t rightSessionFrame, const ColumnStyle& style)
{
    if (m_model == nullptr)
        return;
    const int64_t right = ModelRight(rightSessionFrame, style.zoom);
    const int32_t width = m_surface.Width();
    const bool sameStyle = m_drawn && style.sampleRate == m_drawnStyle.sampleRate &&
                           style.showWaveform == m_drawnStyle.showWaveform &&
                           style.showTimescale == m_drawnStyle.showTimescale && style.palette == m_drawnStyle.palette &&
                           style.zoom == m_drawnStyle.zoom;
    // The model went along with the session (no new take), by whole columns.
    const bool along = m_hasTake ? right - m_drawnRight == rightSessionFrame - m_drawnSessionRight : right == m_drawnRight;
    const int64_t moved =
        m_hasTake ? ColumnOfFrame(rightSessionFrame, style.zoom) - ColumnOfFrame(m_drawnSessionRight, style.zoom) : 0;
    if (sameStyle && along && moved == 0 && (m_timing == nullptr || rightSessionFrame == m_drawnSessionRight))
        return;
    // Following the take's timing, the model moves unevenly: drawn whole.
    if (sameStyle && along && moved > 0 && moved < width && m_timing == nullptr) {
        // Recording moves the session on by a buffer's frames at a time:
        // only the strip they uncover is drawn.
        m_surface.ScrollLeft(static_cast<int32_t>(moved));
        DrawColumns(width - static_cast<int32_t>(moved), rightSessionFrame, style);
    } else {
        m_surface.InvalidateAll();
        DrawColumns(0, rightSessionFrame, style);
    }
    m_drawn = true;
    m_drawnRight = right;
    m_drawnSessionRight = rightSessionFrame;
    m_drawnStyle = style;
}

void ModelLane::DrawColumns(int32_t fromX, int64_t rightSessionFrame, const ColumnStyle& style)
{
    ColumnDescription frames[kMaxZoom];
    const int32_t zoom = std::clamp(style.zoom, 1, kMaxZoom);
    const int32_t width = m_surface.Width();
    const ColumnGeometry g = GeometryForHeight(m_surface.Height());
    m_surface.BeginPaint();
    for (int32_t x = std::max(fromX, 0); x < width; ++x) {
        int32_t count = 0;
        for (int32_t i = 0; i < zoom; ++i)
            if (const int64_t frame = FrameBeside(x, i, rightSessionFrame, zoom); m_model->HasFrame(frame))
                frames[count++] = m_model->Column(frame);
        DrawColumnDescription(MergeColumns(frames, count), g, style, m_cosines, m_column.data());
        m_surface.DrawColumn(x, m_column.data(), g.h);
        ++m_columnsDrawn;
    }
    m_surface.EndPaint();
}

}  // namespace vocalume
