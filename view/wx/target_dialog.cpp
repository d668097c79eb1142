// View > Target note...: the note to aim at and the cents allowed either
// side, chosen from the view's own lists.
#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "analysis_view.h"
#include "screen_reader.h"
#include "target_note.h"
#include "view_window.h"

namespace vocalume {
namespace {

wxChoice* ListOf(wxWindow* parent, const std::vector<std::string>& entries, int selected)
{
    auto* list = new wxChoice(parent, wxID_ANY);
    for (const std::string& entry : entries)
        list->Append(wxString::FromUTF8(entry));
    if (selected >= 0 && selected < static_cast<int>(entries.size()))
        list->SetSelection(selected);
    return list;
}

}  // namespace

bool CViewWindow::RunTargetDialog(TargetValues& values)
{
    wxDialog dialog(wxGetTopLevelParent(this), wxID_ANY, "Target note");
    auto* noteLabel = new wxStaticText(&dialog, wxID_ANY, "&Note:");
    wxChoice* notes = ListOf(&dialog, TargetNoteEntries(), values.note);
    auto* centsLabel = new wxStaticText(&dialog, wxID_ANY, "&Counts as on it within:");
    wxChoice* cents = ListOf(&dialog, TargetCentsEntries(), values.cents);
    LabelControl(noteLabel, notes);
    LabelControl(centsLabel, cents);

    const int gap = dialog.FromDIP(8);
    auto* grid = new wxFlexGridSizer(2, gap, gap);
    grid->Add(noteLabel, 0, wxALIGN_CENTER_VERTICAL);
    grid->Add(notes, 1, wxEXPAND);
    grid->Add(centsLabel, 0, wxALIGN_CENTER_VERTICAL);
    grid->Add(cents, 1, wxEXPAND);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(grid, 0, wxEXPAND | wxALL, gap);
    column->Add(dialog.CreateButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, gap);
    dialog.SetSizerAndFit(column);
    notes->SetFocus();
    const bool chosen = dialog.ShowModal() == wxID_OK;
    SetFocus();
    if (!chosen)
        return false;
    values.note = notes->GetSelection();
    values.cents = cents->GetSelection();
    return true;
}

void CViewWindow::ChooseTargetNote()
{
    m_view->ChooseTargetNote();
    // A target turns the pitch line on: its check mark follows.
    if (auto* frame = dynamic_cast<wxFrame*>(wxGetTopLevelParent(this)); frame && frame->GetMenuBar())
        frame->GetMenuBar()->Check(ID_PITCH_LINE, m_view->Settings().pitchLine);
}

}  // namespace vocalume
