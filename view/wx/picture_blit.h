// Puts the view's shown picture on the screen. The window keeps a copy of
// what it showed last in the screen's own pixel format (on the display
// server where there is one): a paint converts and sends only the columns
// that changed since, and a scroll moves where the copy's first column lies
// instead of moving its pixels, so a live picture costs a strip a paint.
#pragma once

#include <cstdint>

#include <wx/dc.h>
#include <wx/gdicmn.h>

#include "column_surface.h"

namespace vocalume {

class PictureBlitter {
public:
    PictureBlitter() = default;
    ~PictureBlitter();
    PictureBlitter(const PictureBlitter&) = delete;
    PictureBlitter& operator=(const PictureBlitter&) = delete;

    // Brings the copy up to date with a width × height picture of 3-byte
    // pixels (red, green, blue), rows `stride` bytes apart, which `change`
    // says how it changed since the last Draw, and draws its part `box` at
    // the origin of `dc`.
    void Draw(wxDC& dc, const uint8_t* rgb, int stride, int width, int height, const PictureChange& change,
              const wxRect& box);
    // A change was not drawn: the next Draw sends the whole picture.
    void Forget() { m_stale = true; }

private:
    // Converts columns `left` to `right` of the picture into the copy.
    void Send(const uint8_t* rgb, int stride, int left, int right);
    void Release();

    // Where the platform has them: the picture converted, column for
    // column, and the copy, whose column m_origin shows the picture's first.
    void* m_staging = nullptr;
    void* m_copy = nullptr;
    int m_origin = 0;
    int m_width = 0;
    int m_height = 0;
    bool m_stale = true;
};

}  // namespace vocalume
