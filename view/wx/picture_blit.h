// Puts the view's retained picture on the screen. Every buffer scrolls the
// whole picture, so each paint shows most of the window anew: the copy is
// made into one lasting image in the screen's own pixel format, with no
// allocation per paint.
#pragma once

#include <cstdint>

#include <wx/dc.h>
#include <wx/gdicmn.h>

namespace vocalume {

class PictureBlitter {
public:
    PictureBlitter() = default;
    ~PictureBlitter();
    PictureBlitter(const PictureBlitter&) = delete;
    PictureBlitter& operator=(const PictureBlitter&) = delete;

    // Draws the part `box` of a width × height picture of 3-byte pixels
    // (red, green, blue), rows `stride` bytes apart, at the origin of `dc`.
    void Draw(wxDC& dc, const uint8_t* rgb, int stride, int width, int height, const wxRect& box);

private:
    void* m_surface = nullptr;  // the lasting image, where the platform has one
    int m_width = 0;
    int m_height = 0;
};

}  // namespace vocalume
