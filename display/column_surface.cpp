#include "column_surface.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "png_file.h"

namespace vocalume {

namespace {

PixelRect Union(const PixelRect& a, const PixelRect& b)
{
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

// True when the union of a and b is itself a rectangle (same rows and touching
// or overlapping columns, or the other way round), so merging stays exact.
bool UnionIsExact(const PixelRect& a, const PixelRect& b)
{
    if (a.top == b.top && a.bottom == b.bottom)
        return a.left <= b.right && b.left <= a.right;
    if (a.left == b.left && a.right == b.right)
        return a.top <= b.bottom && b.top <= a.bottom;
    return false;
}

}  // namespace

void PictureChange::AddColumns(int32_t from, int32_t to, int32_t width)
{
    from = std::max(from, 0);
    to = std::min(to, width - 1);
    if (whole || from > to)
        return;
    if (left > right) {
        left = from;
        right = to;
    } else {
        left = std::min(left, from);
        right = std::max(right, to);
    }
}

void PictureChange::AddScroll(int32_t k, int32_t width)
{
    if (whole || k <= 0)
        return;
    if (k >= width - scrolled) {
        whole = true;
        return;
    }
    scrolled += k;
    // The columns that changed before moved with their pixels.
    if (right - k < 0) {
        left = 0;
        right = -1;
    } else if (left <= right) {
        left = std::max(left - k, 0);
        right -= k;
    }
}

void PictureChange::Add(const PictureChange& later, int32_t width)
{
    if (later.whole)
        whole = true;
    AddScroll(later.scrolled, width);
    AddColumns(later.left, later.right, width);
}

void ColumnSurface::Region::Add(PixelRect r)
{
    if (r.IsEmpty())
        return;
    // Fold r together with every rectangle it covers, is covered by or joins
    // exactly; repeat, since the grown rectangle may now join another one.
    bool merged = true;
    while (merged) {
        merged = false;
        for (int32_t k = 0; k < count; ++k) {
            const PixelRect& e = rects[static_cast<size_t>(k)];
            if (e.Contains(r))
                return;
            if (r.Contains(e) || UnionIsExact(r, e)) {
                r = Union(r, e);
                rects[static_cast<size_t>(k)] = rects[static_cast<size_t>(count - 1)];
                --count;
                merged = true;
                break;
            }
        }
    }
    if (count == kMaxInvalidRects) {
        r = Union(r, Bounds());
        count = 0;
    }
    rects[static_cast<size_t>(count++)] = r;
}

PixelRect ColumnSurface::Region::Bounds() const
{
    if (count == 0)
        return {};
    PixelRect b = rects[0];
    for (int32_t k = 1; k < count; ++k)
        b = Union(b, rects[static_cast<size_t>(k)]);
    return b;
}

bool ColumnSurface::Region::Holds(int32_t x, int32_t y) const
{
    for (int32_t k = 0; k < count; ++k) {
        const PixelRect& r = rects[static_cast<size_t>(k)];
        if (r.left <= x && x < r.right && r.top <= y && y < r.bottom)
            return true;
    }
    return false;
}

bool ColumnSurface::Resize(int32_t width, int32_t height)
{
    const int32_t askedWidth = std::max(width, 0);
    const int32_t askedHeight = std::max(height, 0);
    // The old image goes first, so that it never adds to what the new one needs.
    std::vector<uint8_t>().swap(m_pixels);
    m_owedScroll = 0;
    m_change.whole = true;
    m_width = askedWidth;
    m_height = askedHeight;
    for (;;) {
        const int64_t pixels = int64_t{m_width} * m_height;
        if (pixels <= kMaxPixels) {
            try {
                m_pixels.assign(static_cast<size_t>(pixels) * 3, 0);
                break;
            } catch (const std::bad_alloc&) {
                // Too much for this machine now: try a smaller picture.
            }
        }
        // Ends at the latest with an empty image, which needs no memory.
        if (m_width >= m_height)
            m_width /= 2;
        else
            m_height /= 2;
    }
    m_painting = false;
    m_clip.Clear();
    InvalidateAll();
    return m_width == askedWidth && m_height == askedHeight;
}

void ColumnSurface::ScrollLeft(int32_t k)
{
    if (k <= 0)
        return;
    if (k >= m_width) {
        m_owedScroll = 0;
        std::fill(m_pixels.begin(), m_pixels.end(), uint8_t{0});
        m_change.whole = true;
        InvalidateAll();
        return;
    }
    m_owedScroll = std::min(m_owedScroll + k, m_width);
    m_change.AddScroll(k, m_width);
    // The uncovered strip turned black.
    m_change.AddColumns(m_width - k, m_width - 1, m_width);

    // Whatever was waiting to be painted moved with its pixels.
    Region moved;
    for (int32_t i = 0; i < m_invalid.count; ++i) {
        PixelRect r = m_invalid.rects[static_cast<size_t>(i)];
        r.left = std::max(r.left - k, 0);
        r.right -= k;
        moved.Add(r);
    }
    m_invalid = moved;
    m_invalid.Add({m_width - k, 0, m_width, m_height});
}

void ColumnSurface::MovePixels() const
{
    if (m_owedScroll <= 0)
        return;
    const int32_t k = m_owedScroll;
    m_owedScroll = 0;
    if (k >= m_width) {
        std::fill(m_pixels.begin(), m_pixels.end(), uint8_t{0});
        return;
    }
    const size_t stride = Stride();
    const size_t shift = static_cast<size_t>(k) * 3;
    for (int32_t y = 0; y < m_height; ++y) {
        uint8_t* row = m_pixels.data() + static_cast<size_t>(y) * stride;
        std::memmove(row, row + shift, stride - shift);
        std::memset(row + stride - shift, 0, shift);
    }
}

uint8_t* ColumnSurface::MutablePixels()
{
    MovePixels();
    m_change.whole = true;
    return m_pixels.data();
}

PictureChange ColumnSurface::TakeChange()
{
    const PictureChange change = m_change;
    m_change = PictureChange{};
    return change;
}

void ColumnSurface::InvalidateAll()
{
    m_invalid.Clear();
    m_invalid.Add(ClientRect());
}

void ColumnSurface::Invalidate(const PixelRect& rect)
{
    const PixelRect client = ClientRect();
    m_invalid.Add({std::max(rect.left, client.left), std::max(rect.top, client.top),
                   std::min(rect.right, client.right), std::min(rect.bottom, client.bottom)});
}

PixelRect ColumnSurface::BeginPaint()
{
    MovePixels();
    m_clip = m_invalid;
    m_invalid.Clear();
    m_painting = true;
    return m_clip.Bounds();
}

void ColumnSurface::DrawColumn(int32_t x, const uint8_t* bottomUpRows, int32_t rows)
{
    if (!m_painting || x < 0 || x >= m_width)
        return;
    MovePixels();
    const int32_t shown = std::min(rows, m_height);
    for (int32_t i = 0; i < m_clip.count; ++i) {
        const PixelRect& r = m_clip.rects[static_cast<size_t>(i)];
        if (x < r.left || x >= r.right)
            continue;
        const int32_t yEnd = std::min(r.bottom, shown);
        if (std::max(r.top, 0) < yEnd)
            m_change.AddColumns(x, x, m_width);
        for (int32_t y = std::max(r.top, 0); y < yEnd; ++y) {
            const uint8_t* src = bottomUpRows + static_cast<size_t>(rows - 1 - y) * 4;
            uint8_t* dst = m_pixels.data() + static_cast<size_t>(y) * Stride() + static_cast<size_t>(x) * 3;
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
    }
}

bool ColumnSurface::Restore(int32_t width, int32_t height, const std::vector<uint8_t>& rgb)
{
    if (width != m_width || height != m_height || rgb.size() != m_pixels.size())
        return false;
    m_owedScroll = 0;
    m_pixels = rgb;
    m_change.whole = true;
    m_invalid.Clear();
    return true;
}

void ColumnSurface::EndPaint()
{
    m_painting = false;
    m_clip.Clear();
}

Rgb ColumnSurface::PixelAt(int32_t x, int32_t y) const
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return {};
    MovePixels();
    const uint8_t* p = m_pixels.data() + static_cast<size_t>(y) * Stride() + static_cast<size_t>(x) * 3;
    return {p[0], p[1], p[2]};
}

void ColumnSurface::CopyRect(const PixelRect& rect, uint8_t* dst, size_t dstStride) const
{
    const int32_t left = std::max(rect.left, 0);
    const int32_t right = std::min(rect.right, m_width);
    const int32_t top = std::max(rect.top, 0);
    const int32_t bottom = std::min(rect.bottom, m_height);
    if (right <= left || bottom <= top)
        return;
    MovePixels();
    const size_t bytes = static_cast<size_t>(right - left) * 3;
    for (int32_t y = top; y < bottom; ++y)
        std::memcpy(dst + static_cast<size_t>(y - top) * dstStride,
                    m_pixels.data() + static_cast<size_t>(y) * Stride() + static_cast<size_t>(left) * 3, bytes);
}

std::string ColumnSurface::WritePng(const std::string& path) const
{
    return WritePngFile(path, m_width, m_height, Pixels(), Stride());
}

}  // namespace vocalume
