#include "picture_blit.h"

#include <algorithm>

#include <wx/bitmap.h>
#include <wx/image.h>

#if defined(__WXGTK3__) && defined(VOCALUME_HAVE_CAIRO)
#include <cairo.h>
#endif

namespace vocalume {

#if defined(__WXGTK3__) && defined(VOCALUME_HAVE_CAIRO)

namespace {

cairo_surface_t* AsSurface(void* p) { return static_cast<cairo_surface_t*>(p); }

// Copies the columns `from` to `from + count - 1` of `source` to column `to`
// of `target`, every row.
void CopyColumns(cairo_t* target, cairo_surface_t* source, int from, int to, int count, int height)
{
    if (count <= 0)
        return;
    cairo_set_source_surface(target, source, to - from, 0);
    cairo_rectangle(target, to, 0, count, height);
    cairo_fill(target);
}

}  // namespace

PictureBlitter::~PictureBlitter() { Release(); }

void PictureBlitter::Release()
{
    if (m_staging != nullptr)
        cairo_surface_destroy(AsSurface(m_staging));
    if (m_copy != nullptr)
        cairo_surface_destroy(AsSurface(m_copy));
    m_staging = m_copy = nullptr;
}

void PictureBlitter::Draw(wxDC& dc, const uint8_t* rgb, int stride, int width, int height,
                          const PictureChange& change, const wxRect& box)
{
    auto* cr = static_cast<cairo_t*>(dc.GetImpl()->GetCairoContext());
    if (cr == nullptr || width <= 0 || height <= 0) {
        m_stale = true;
        return;
    }
    bool whole = m_stale || change.whole || width != m_width || height != m_height;
    if (m_copy == nullptr || width != m_width || height != m_height) {
        Release();
        m_staging = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
        // Made like the window's own surface: on a display server the copy
        // stays there, and showing it costs the client nothing.
        m_copy = cairo_surface_create_similar(cairo_get_target(cr), CAIRO_CONTENT_COLOR, width, height);
        m_width = width;
        m_height = height;
        whole = true;
    }
    if (cairo_surface_status(AsSurface(m_staging)) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_status(AsSurface(m_copy)) != CAIRO_STATUS_SUCCESS) {
        Release();
        m_stale = true;
        return;
    }
    m_stale = false;
    if (whole) {
        m_origin = 0;
        Send(rgb, stride, 0, width - 1);
    } else {
        m_origin = (m_origin + change.scrolled) % width;
        if (change.left <= change.right)
            Send(rgb, stride, std::max(change.left, 0), std::min(change.right, width - 1));
    }

    const wxRect area = box.Intersect(wxRect(0, 0, width, height));
    if (area.IsEmpty())
        return;
    cairo_save(cr);
    cairo_rectangle(cr, area.x, area.y, area.width, area.height);
    cairo_clip(cr);
    // The copy's columns from m_origin on are the picture's first ones; the
    // rest, from its column 0, follow them.
    CopyColumns(cr, AsSurface(m_copy), m_origin, 0, width - m_origin, height);
    CopyColumns(cr, AsSurface(m_copy), 0, width - m_origin, m_origin, height);
    cairo_restore(cr);
}

void PictureBlitter::Send(const uint8_t* rgb, int stride, int left, int right)
{
    if (left > right)
        return;
    // One 32-bit word a pixel, 0x00RRGGBB in the machine's own byte order.
    cairo_surface_t* staging = AsSurface(m_staging);
    cairo_surface_flush(staging);
    unsigned char* data = cairo_image_surface_get_data(staging);
    const int outStride = cairo_image_surface_get_stride(staging);
    const int count = right - left + 1;
    for (int y = 0; y < m_height; ++y) {
        const uint8_t* from = rgb + static_cast<size_t>(y) * stride + static_cast<size_t>(left) * 3;
        auto* to = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * outStride) + left;
        for (int x = 0; x < count; ++x, from += 3)
            to[x] = (uint32_t{from[0]} << 16) | (uint32_t{from[1]} << 8) | from[2];
    }
    cairo_surface_mark_dirty_rectangle(staging, left, 0, count, m_height);

    // Column x of the picture lies at column (x + m_origin) mod width of the
    // copy: the strip goes there, in two pieces where it wraps.
    cairo_t* copy = cairo_create(AsSurface(m_copy));
    cairo_set_operator(copy, CAIRO_OPERATOR_SOURCE);
    const int at = (left + m_origin) % m_width;
    const int first = std::min(count, m_width - at);
    CopyColumns(copy, staging, left, at, first, m_height);
    CopyColumns(copy, staging, left + first, 0, count - first, m_height);
    cairo_destroy(copy);
}

#else

PictureBlitter::~PictureBlitter() = default;

void PictureBlitter::Release() {}
void PictureBlitter::Send(const uint8_t*, int, int, int) {}

// Elsewhere the toolkit's own image route, the whole picture every paint:
// slower, but the same picture.
void PictureBlitter::Draw(wxDC& dc, const uint8_t* rgb, int stride, int width, int height, const PictureChange&,
                          const wxRect&)
{
    if (width <= 0 || height <= 0)
        return;
    wxImage image(width, height, false);
    unsigned char* to = image.GetData();
    for (int row = 0; row < height; ++row)
        std::copy_n(rgb + static_cast<size_t>(row) * stride, width * 3, to + static_cast<size_t>(row) * width * 3);
    dc.DrawBitmap(wxBitmap(image), 0, 0, false);
}

#endif

}  // namespace vocalume
