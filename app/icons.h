// The program's icon, a prism splitting white light into coloured rays,
// built into the program from the PNG drawings in resources/.
#pragma once

#include <wx/bitmap.h>
#include <wx/iconbndl.h>

namespace vocalume {

// The icon at 16, 32, 48, 128 and 256 pixels, for the frame.
wxIconBundle ProgramIcons();
// The icon at `size` pixels (16, 32, 48, 128 or 256).
wxBitmap ProgramIconBitmap(int size);

}  // namespace vocalume
