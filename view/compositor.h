// The compositor: the picture the window shows, drawn as an ordered list of
// layers. The retained picture (the session's columns) comes first; the
// layers added after it are drawn over it in the order they were added (the
// model lane, the pitch line, the play line). While no layer draws anything,
// the window shows the retained picture itself, untouched and uncopied.
//
// Threads: user-interface thread only. The retained picture and every layer
// added must outlive the compositor's use of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "column_surface.h"
#include "pixel_image.h"

namespace vocalume {

// Where the lanes lie in the shown picture: the model lane in rows
// [0, modelHeight) and a separator row below it while a model is shown; the
// session lane in rows [sessionTop, sessionTop + sessionHeight).
struct LaneRows {
    int32_t modelHeight = 0;
    int32_t sessionTop = 0;
    int32_t sessionHeight = 0;
};

// The picture a layer draws on.
struct Canvas {
    PixelImage image;
    LaneRows rows;
    // Only columns `left` to `right` are shown before the next compose; the
    // rest may be left as they are (all of them when `whole`).
    int32_t left = 0;
    int32_t right = 0;
    bool whole = true;

    PixelImage ModelLane() const { return Rows(0, rows.modelHeight); }
    PixelImage SessionLane() const { return Rows(rows.sessionTop, rows.sessionHeight); }
    PixelImage Rows(int32_t top, int32_t height) const
    {
        return PixelImage{image.pixels + image.stride * static_cast<size_t>(top), image.width, height, image.stride};
    }
};

class PictureLayer {
public:
    virtual ~PictureLayer() = default;
    // Whether the layer draws anything over the retained picture now.
    virtual bool Shown() const = 0;
    // Draws the layer over what the layers below drew.
    virtual void Draw(const Canvas& canvas) = 0;
};

class Compositor {
public:
    // `retained` is the session lane's picture; the compositor takes its
    // changes (ColumnSurface::TakeChange) and passes them on.
    explicit Compositor(ColumnSurface& retained) : m_retained(retained) {}

    // Adds a layer over the ones added before.
    void Add(PictureLayer& layer) { m_layers.push_back(&layer); }

    // Builds the shown picture for a paint that shows columns `left` to
    // `right` with the lanes as `rows` says: the retained picture in the
    // session lane's rows, then every layer shown.
    void Compose(const LaneRows& rows, int32_t left = 0, int32_t right = std::numeric_limits<int32_t>::max());

    // The picture the window shows: the composed one, or the retained one
    // while nothing is drawn over it. Valid until the next compose or resize.
    const uint8_t* Rgb() const { return m_composed ? m_shown.data() : m_retained.Pixels(); }
    int32_t Width() const { return m_composed ? m_width : m_retained.Width(); }
    int32_t Height() const { return m_composed ? m_height : m_retained.Height(); }
    size_t Stride() const { return m_composed ? m_stride : m_retained.Stride(); }

    // What changed in the shown picture from the compose before the last
    // call to this one's to the latest compose: the retained picture's own
    // changes while nothing is drawn over it, the columns composed anew
    // otherwise.
    PictureChange TakeChange();

private:
    // The first layer: the retained picture copied into the session lane.
    void CopyRetained(const Canvas& canvas);

    ColumnSurface& m_retained;
    std::vector<PictureLayer*> m_layers;
    bool m_composed = false;
    PictureChange m_change{0, 0, -1, true};
    std::vector<uint8_t> m_shown;
    int32_t m_width = 0;
    int32_t m_height = 0;
    size_t m_stride = 0;
};

}  // namespace vocalume
