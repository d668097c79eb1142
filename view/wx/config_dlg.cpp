#include "config_dlg.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/statbox.h>
#include <wx/stattext.h>

#include "config_exchange.h"
#include "dialog_units.h"

namespace vocalume {
namespace {

// The visible field of a drop-down list is one text line high.
constexpr int kListFieldHeight = 12;

void Fill(wxChoice* list, const std::vector<std::string>& entries)
{
    for (const std::string& entry : entries)
        list->Append(wxString::FromUTF8(entry));
}

}  // namespace

CConfigDlg::CConfigDlg(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, "Configuration", wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX)
{
    SetClientSize(ConvertDialogToPixels(wxSize(186, 138)));

    // Created in tab order.
    auto* ok = new wxButton(this, wxID_OK, "OK");
    FitToRow(ok, DialogUnitRect(this, 35, 118, 50, 14));
    ok->SetDefault();
    ok->SetFocus();
    auto* cancel = new wxButton(this, wxID_CANCEL, "Cancel");
    FitToRow(cancel, DialogUnitRect(this, 101, 118, 50, 14));

    Place(new wxStaticText(this, wxID_ANY, "Screen refresh rate (per sec)"), DialogUnitRect(this, 20, 20, 96, 12));
    Place(new wxStaticBox(this, wxID_ANY, "Analysis configuration"), DialogUnitRect(this, 5, 4, 175, 56));
    m_refreshList = new wxChoice(this, IDC_REFRESH);
    Fill(m_refreshList, RefreshRateEntries());
    FitToRow(m_refreshList, DialogUnitRect(this, 119, 19, 49, kListFieldHeight));

    Place(new wxStaticText(this, wxID_ANY, "Undersampling ratio"), DialogUnitRect(this, 20, 39, 93, 12));
    m_samplingList = new wxChoice(this, IDC_SAMPLING);
    Fill(m_samplingList, SamplingRatioEntries());
    FitToRow(m_samplingList, DialogUnitRect(this, 119, 39, 49, kListFieldHeight));

    Place(new wxStaticBox(this, wxID_ANY, "Display options"), DialogUnitRect(this, 6, 66, 173, 45));
    m_waveformBox = new wxCheckBox(this, IDC_WAVEFORM, "Display waveform");
    FitToRow(m_waveformBox, DialogUnitRect(this, 18, 79, 146, 12));
    m_timescaleBox = new wxCheckBox(this, IDC_TIMESCALE, "Display timescale");
    FitToRow(m_timescaleBox, DialogUnitRect(this, 17, 93, 146, 12));

    CentreOnParent();
}

bool CConfigDlg::TransferDataToWindow()
{
    m_refreshList->SetSelection(FirstEntryBeginningWith(RefreshRateEntries(), m_refresh));
    m_samplingList->SetSelection(FirstEntryBeginningWith(SamplingRatioEntries(), m_sampling));
    m_timescaleBox->SetValue(m_timescale != 0);
    m_waveformBox->SetValue(m_waveform != 0);
    return true;
}

bool CConfigDlg::TransferDataFromWindow()
{
    m_refresh = TextOfSelection(RefreshRateEntries(), m_refreshList->GetSelection(), m_refresh);
    m_sampling = TextOfSelection(SamplingRatioEntries(), m_samplingList->GetSelection(), m_sampling);
    m_timescale = m_timescaleBox->GetValue() ? 1 : 0;
    m_waveform = m_waveformBox->GetValue() ? 1 : 0;
    return true;
}

}  // namespace vocalume
