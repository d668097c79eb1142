#include "picture_blit.h"

#include <algorithm>

#include <wx/bitmap.h>
#include <wx/image.h>

#if defined(__WXGTK3__) && defined(VOCALUME_HAVE_CAIRO)
#include <cairo.h>
#endif

namespace vocalume {

#if defined(__WXGTK3__) && defined(VOCALUME_HAVE_CAIRO)

PictureBlitter::~PictureBlitter()
{
    if (m_surface != nullptr)
        cairo_surface_destroy(static_cast<cairo_surface_t*>(m_surface));
}

void PictureBlitter::Draw(wxDC& dc, const uint8_t* rgb, int stride, int width, int height, const wxRect& box)
{
    auto* cr = static_cast<cairo_t*>(dc.GetImpl()->GetCairoContext());
    const wxRect area = box.Intersect(wxRect(0, 0, width, height));
    if (cr == nullptr || area.IsEmpty())
        return;
    auto* surface = static_cast<cairo_surface_t*>(m_surface);
    if (surface == nullptr || width != m_width || height != m_height) {
        if (surface != nullptr)
            cairo_surface_destroy(surface);
        surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
        m_surface = surface;
        m_width = width;
        m_height = height;
    }
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
        return;

    // One 32-bit word a pixel, 0x00RRGGBB in the machine's own byte order.
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int outStride = cairo_image_surface_get_stride(surface);
    for (int y = area.y; y < area.GetBottom() + 1; ++y) {
        const uint8_t* from = rgb + static_cast<size_t>(y) * stride + static_cast<size_t>(area.x) * 3;
        auto* to = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * outStride) + area.x;
        for (int x = 0; x < area.width; ++x, from += 3)
            to[x] = (uint32_t{from[0]} << 16) | (uint32_t{from[1]} << 8) | from[2];
    }
    cairo_surface_mark_dirty_rectangle(surface, area.x, area.y, area.width, area.height);

    cairo_save(cr);
    cairo_set_source_surface(cr, surface, 0, 0);
    cairo_rectangle(cr, area.x, area.y, area.width, area.height);
    cairo_fill(cr);
    cairo_restore(cr);
}

#else

PictureBlitter::~PictureBlitter() = default;

// Elsewhere the toolkit's own image route: slower, but the same picture.
void PictureBlitter::Draw(wxDC& dc, const uint8_t* rgb, int stride, int width, int height, const wxRect&)
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
