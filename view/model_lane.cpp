#include "model_lane.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "column_painter.h"

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

int64_t ModelLane::ModelRight(int64_t rightSessionFrame) const
{
    if (!m_hasTake)
        return m_surface.Width() - 1;
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

int64_t ModelLane::FrameBeside(int32_t x, int64_t rightSessionFrame) const
{
    const int64_t fromRight = m_surface.Width() - 1 - x;
    if (m_timing == nullptr || !m_hasTake)
        return ModelRight(rightSessionFrame) - fromRight;
    const int64_t k = rightSessionFrame - fromRight - m_takeStart;
    const auto frames = static_cast<int64_t>(m_timing->size());
    if (k < 0)
        return k;
    if (k < frames)
        return std::llround((*m_timing)[static_cast<size_t>(k)]);
    return std::llround(m_timing->back()) + (k - frames + 1);
}

int64_t ModelLane::ModelFrameAt(int32_t x, int64_t rightSessionFrame) const
{
    if (m_model == nullptr || x < 0 || x >= m_surface.Width())
        return -1;
    const int64_t frame = FrameBeside(x, rightSessionFrame);
    return m_model->HasFrame(frame) ? frame : -1;
}

int64_t ModelLane::ColumnOf(int64_t frame, int64_t rightSessionFrame) const
{
    if (!m_hasTake || m_timing == nullptr)
        return frame - ModelRight(rightSessionFrame) + m_surface.Width() - 1;
    // The first frame of the take that shows `frame` or a later one.
    const std::vector<double>& timing = *m_timing;
    const int64_t last = std::llround(timing.back());
    const int64_t k = frame > last ? static_cast<int64_t>(timing.size()) - 1 + (frame - last)
                                   : std::lower_bound(timing.begin(), timing.end(), static_cast<double>(frame) - 0.5) -
                                         timing.begin();
    return m_takeStart + k - rightSessionFrame + m_surface.Width() - 1;
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
    const int64_t right = ModelRight(rightSessionFrame);
    const int32_t width = m_surface.Width();
    const bool sameStyle = m_drawn && style.sampleRate == m_drawnStyle.sampleRate &&
                           style.showWaveform == m_drawnStyle.showWaveform &&
                           style.showTimescale == m_drawnStyle.showTimescale && style.palette == m_drawnStyle.palette;
    const int64_t moved = right - m_drawnRight;
    if (sameStyle && moved == 0 && (m_timing == nullptr || rightSessionFrame == m_drawnSessionRight))
        return;
    // Following the take's timing, the model moves unevenly: drawn whole.
    if (sameStyle && moved > 0 && moved < width && m_timing == nullptr) {
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
    ColumnDescription blank;
    blank.flags = ColumnDescription::kNoTrace;
    const int32_t width = m_surface.Width();
    const ColumnGeometry g = GeometryForHeight(m_surface.Height());
    m_surface.BeginPaint();
    for (int32_t x = std::max(fromX, 0); x < width; ++x) {
        const int64_t frame = FrameBeside(x, rightSessionFrame);
        DrawColumnDescription(m_model->HasFrame(frame) ? m_model->Column(frame) : blank, g, style, m_cosines,
                              m_column.data());
        m_surface.DrawColumn(x, m_column.data(), g.h);
        ++m_columnsDrawn;
    }
    m_surface.EndPaint();
}

}  // namespace vocalume
