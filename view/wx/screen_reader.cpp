#include "screen_reader.h"

#include <wx/stattext.h>
#include <wx/window.h>

#ifdef VOCALUME_HAVE_GTK
#include <gtk/gtk.h>
#endif

namespace vocalume {

void LabelControl(wxStaticText* label, wxWindow* control)
{
    // The toolkit's own name for the control, for whatever reads it.
    control->SetName(wxStaticText::RemoveMnemonics(label->GetLabel()));
#ifdef VOCALUME_HAVE_GTK
    // GTK turns the label's '&' into its mnemonic; tied to the control, the
    // letter focuses the control and the reader announces the label with it.
    auto* gtkLabel = label->GetHandle();
    auto* target = control->GetHandle();
    if (gtkLabel != nullptr && target != nullptr && GTK_IS_LABEL(gtkLabel))
        gtk_label_set_mnemonic_widget(GTK_LABEL(gtkLabel), GTK_WIDGET(target));
#endif
}

void DescribeWindow(wxWindow* window, const wxString& name, const wxString& description)
{
    window->SetName(name);
    window->SetLabel(name);
    window->SetHelpText(description);
#ifdef VOCALUME_HAVE_GTK
    if (auto* widget = window->GetHandle()) {
        AtkObject* accessible = gtk_widget_get_accessible(GTK_WIDGET(widget));
        if (accessible != nullptr) {
            atk_object_set_name(accessible, name.utf8_str());
            atk_object_set_description(accessible, description.utf8_str());
            atk_object_set_role(accessible, ATK_ROLE_IMAGE);
        }
    }
#endif
}

}  // namespace vocalume
