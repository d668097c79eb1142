#include "compositor.h"

#include <algorithm>

namespace vocalume {

void Compositor::Compose(const LaneRows& rows, int32_t left, int32_t right)
{
    const bool wasComposed = m_composed;
    const PictureChange retained = m_retained.TakeChange();
    m_composed = std::any_of(m_layers.begin(), m_layers.end(), [](const PictureLayer* l) { return l->Shown(); });
    if (!m_composed) {
        // The retained picture is shown itself: its changes are the shown
        // picture's, unless the composed copy was shown until now.
        if (wasComposed)
            m_change.whole = true;
        else
            m_change.Add(retained, m_retained.Width());
        m_shown.clear();
        return;
    }
    const int32_t width = m_retained.Width();
    const int32_t height = rows.sessionTop + rows.sessionHeight;
    const size_t stride = m_retained.Stride();
    // Only a picture of the retained picture's own size, with no lane above
    // it, keeps the columns not shown now.
    const bool whole = width != m_width || height != m_height || stride != m_stride || rows.sessionTop != 0 ||
                       m_shown.size() != stride * static_cast<size_t>(height);
    m_width = width;
    m_height = height;
    m_stride = stride;
    m_shown.resize(m_stride * static_cast<size_t>(m_height));
    Canvas canvas{PixelImage{m_shown.data(), m_width, m_height, m_stride}, rows, std::max(left, 0),
                  std::min(right, m_width - 1), whole};
    CopyRetained(canvas);
    for (PictureLayer* layer : m_layers)
        if (layer->Shown())
            layer->Draw(canvas);
    if (whole || !wasComposed)
        m_change.whole = true;
    else
        m_change.AddColumns(canvas.left, canvas.right, m_width);
}

PictureChange Compositor::TakeChange()
{
    const PictureChange change = m_change;
    m_change = PictureChange{};
    return change;
}

void Compositor::CopyRetained(const Canvas& canvas)
{
    const int32_t rows = std::min(canvas.rows.sessionHeight, m_retained.Height());
    if (canvas.whole) {
        if (rows > 0)
            std::copy_n(m_retained.Pixels(), m_stride * static_cast<size_t>(rows), canvas.SessionLane().pixels);
        return;
    }
    for (int32_t y = 0; y < rows && canvas.left <= canvas.right; ++y) {
        const size_t at = static_cast<size_t>(y) * m_stride + static_cast<size_t>(canvas.left) * 3;
        std::copy_n(m_retained.Pixels() + at, static_cast<size_t>(canvas.right - canvas.left + 1) * 3,
                    canvas.SessionLane().pixels + at);
    }
}

}  // namespace vocalume
