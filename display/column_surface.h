// The retained picture of the view: a 24-bit RGB image the size of the client
// area, with its own invalid region. Window systems keep no window pixels
// between paints, so the view scrolls, invalidates and paints this image and
// the window only copies it to the screen (an exposure copies, it does not
// repaint). The render tool writes the same image as PNG.
//
// User-interface thread only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vocalume {

// A rectangle of client pixels; `right` and `bottom` lie just outside it.
struct PixelRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool Contains(const PixelRect& r) const
    {
        return left <= r.left && top <= r.top && r.right <= right && r.bottom <= bottom;
    }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// What changed in a picture since it was last shown: first its pixels moved
// `scrolled` columns to the left, then columns `left` to `right` changed
// (none when left > right). A copy shown before becomes the picture again by
// moving its pixels the same way and taking those columns anew; with
// `whole`, only a copy of everything does.
struct PictureChange {
    int32_t scrolled = 0;
    int32_t left = 0;
    int32_t right = -1;
    bool whole = false;

    // The columns `left` to `right` of a picture `width` wide changed too.
    void AddColumns(int32_t from, int32_t to, int32_t width);
    // Then the picture moved `k` columns to the left.
    void AddScroll(int32_t k, int32_t width);
    // Then what `later` says happened.
    void Add(const PictureChange& later, int32_t width);
    friend bool operator==(const PictureChange&, const PictureChange&) = default;
};

struct Rgb {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

class ColumnSurface {
public:
    // Up to this many disjoint rectangles are kept exactly; beyond it the
    // region grows to their bounding box (repainting more, never less).
    static constexpr int32_t kMaxInvalidRects = 8;

    ColumnSurface() = default;
    ColumnSurface(int32_t width, int32_t height) { Resize(width, height); }

    // The most pixels the image holds (8K is 33 million): a client area
    // larger than any display gets a smaller picture instead of taking the
    // machine's memory.
    static constexpr int64_t kMaxPixels = int64_t{1} << 26;

    // Rebuilds the image black at the new client size and invalidates all of
    // it. Negative sizes count as 0. Ends a paint in progress. Returns false
    // when that size is above kMaxPixels or cannot be allocated: the image is
    // then smaller, its longer side halved until it fits, and the picture
    // fills the top left of the client area.
    bool Resize(int32_t width, int32_t height);

    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    PixelRect ClientRect() const { return {0, 0, m_width, m_height}; }

    // Moves the picture k pixels to the left, as the window system's scroll
    // does: the invalid region moves with the pixels, the uncovered strip on
    // the right turns black and becomes invalid. k >= width invalidates all;
    // k <= 0 changes nothing. The pixels themselves move once, when they are
    // next read or painted: several buffers between two paints cost one move.
    void ScrollLeft(int32_t k);

    void InvalidateAll();
    // Adds `rect`, clipped to the client area, to the invalid region.
    void Invalidate(const PixelRect& rect);

    bool IsValid() const { return m_invalid.count == 0; }
    // Bounding box of the invalid region; empty when the surface is valid.
    PixelRect InvalidBounds() const { return m_invalid.Bounds(); }
    bool IsInvalid(int32_t x, int32_t y) const { return m_invalid.Holds(x, y); }

    // Opens a paint: the invalid region becomes the paint's clip and the
    // surface is valid again (later invalidations wait for the next paint).
    // Returns the paint rectangle, the bounding box of the clip.
    PixelRect BeginPaint();
    // Writes one column at client x from a bottom-up buffer of `rows` rows of
    // 4 bytes (blue, green, red, unused): buffer row 0 lands on client row
    // rows - 1. Only pixels inside the paint's clip change; outside a paint
    // nothing is drawn.
    void DrawColumn(int32_t x, const uint8_t* bottomUpRows, int32_t rows);
    // Closes the paint; its clip is gone.
    void EndPaint();

    // Puts back a picture of `width` x `height` taken earlier from Pixels(),
    // and marks the surface valid. False, changing nothing, when the size
    // differs.
    bool Restore(int32_t width, int32_t height, const std::vector<uint8_t>& rgb);

    // Pixels in rows from the top, 3 bytes per pixel (red, green, blue).
    const uint8_t* Pixels() const
    {
        MovePixels();
        return m_pixels.data();
    }
    // For overlays drawn over the finished picture (they bypass the clip);
    // counts as a change of every pixel.
    uint8_t* MutablePixels();
    // What changed in the pixels since the last call (since the surface was
    // made, for the first): a window that keeps a copy of the picture on
    // screen moves it and copies the changed columns only.
    PictureChange TakeChange();
    size_t Stride() const { return static_cast<size_t>(m_width) * 3; }
    Rgb PixelAt(int32_t x, int32_t y) const;
    // Copies `rect`, clipped to the client area, into `dst` rows of
    // `dstStride` bytes in the same layout; for handing exposed areas to the
    // screen. The surface itself is not touched.
    void CopyRect(const PixelRect& rect, uint8_t* dst, size_t dstStride) const;

    // Writes the picture as an 8-bit RGB PNG. The file appears complete or
    // not at all. Returns an empty string on success, else what went wrong.
    std::string WritePng(const std::string& path) const;

private:
    struct Region {
        std::array<PixelRect, kMaxInvalidRects> rects{};
        int32_t count = 0;

        void Clear() { count = 0; }
        void Add(PixelRect r);
        PixelRect Bounds() const;
        bool Holds(int32_t x, int32_t y) const;
    };

    // Moves the pixels by the scroll still owed to them.
    void MovePixels() const;

    int32_t m_width = 0;
    int32_t m_height = 0;
    // The pixels lag behind the picture by m_owedScroll columns until the
    // next read; both are the picture's (reading it is not changing it).
    mutable std::vector<uint8_t> m_pixels;
    mutable int32_t m_owedScroll = 0;
    PictureChange m_change{0, 0, -1, true};
    Region m_invalid;
    Region m_clip;
    bool m_painting = false;
};

}  // namespace vocalume
