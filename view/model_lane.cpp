#include "model_lane.h"

#include <algorithm>
#include <utility>

#include "column_painter.h"
#include "column_zoom.h"
#include "session_picture.h"

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

int64_t ModelLane::ModelFrameAt(int32_t x, int64_t rightSessionFrame, int32_t zoom) const
{
    if (m_model == nullptr || x < 0 || x >= m_surface.Width())
        return -1;
    const int64_t first =
        (ColumnOfFrame(ModelRight(rightSessionFrame, zoom), zoom) - (m_surface.Width() - 1 - x)) * zoom;
    const int64_t from = std::max(first, m_model->FirstFrame());
    const int64_t to = std::min(first + zoom, m_model->EndFrame()) - 1;
    return from <= to ? std::clamp(first + zoom / 2, from, to) : -1;
}

int64_t ModelLane::ColumnOf(int64_t frame, int64_t rightSessionFrame, int32_t zoom) const
{
    return ColumnOfFrame(frame, zoom) - ColumnOfFrame(ModelRight(rightSessionFrame, zoom), zoom) + m_surface.Width() - 1;
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
    // In columns: zoomed out, the session moves on by whole columns.
    const int64_t moved = ColumnOfFrame(right, style.zoom) - ColumnOfFrame(m_drawnRight, style.zoom);
    if (sameStyle && moved == 0)
        return;
    if (sameStyle && moved > 0 && moved < width) {
        // Recording moves the session on by a buffer's frames at a time:
        // only the strip they uncover is drawn.
        m_surface.ScrollLeft(static_cast<int32_t>(moved));
        DrawColumns(width - static_cast<int32_t>(moved), right, style);
    } else {
        m_surface.InvalidateAll();
        DrawColumns(0, right, style);
    }
    m_drawn = true;
    m_drawnRight = right;
    m_drawnStyle = style;
}

void ModelLane::DrawColumns(int32_t fromX, int64_t modelRight, const ColumnStyle& style)
{
    const int32_t width = m_surface.Width();
    const ColumnGeometry g = GeometryForHeight(m_surface.Height());
    const int64_t right = ColumnOfFrame(modelRight, style.zoom);
    m_surface.BeginPaint();
    for (int32_t x = std::max(fromX, 0); x < width; ++x) {
        DrawColumnDescription(SessionColumn(*m_model, right - (width - 1 - x), style.zoom), g, style, m_cosines,
                              m_column.data());
        m_surface.DrawColumn(x, m_column.data(), g.h);
        ++m_columnsDrawn;
    }
    m_surface.EndPaint();
}

}  // namespace vocalume
