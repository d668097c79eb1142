#include "icons.h"

#include <wx/icon.h>
#include <wx/image.h>

#include "icon_data.h"

namespace vocalume {

wxBitmap ProgramIconBitmap(int size)
{
    if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr)
        wxImage::AddHandler(new wxPNGHandler);
    for (const EmbeddedIcon& icon : kEmbeddedIcons) {
        if (icon.size == size)
            return wxBitmap::NewFromPNGData(icon.png, icon.length);
    }
    return wxBitmap();
}

wxIconBundle ProgramIcons()
{
    wxIconBundle bundle;
    for (const EmbeddedIcon& icon : kEmbeddedIcons) {
        wxIcon image;
        image.CopyFromBitmap(ProgramIconBitmap(icon.size));
        if (image.IsOk())
            bundle.AddIcon(image);
    }
    return bundle;
}

}  // namespace vocalume
