#include "config_dlg.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/statbox.h>
#include <wx/stattext.h>

#include "analysis_view.h"
#include "config_exchange.h"
#include "dialog_units.h"
#include "input_choice.h"
#include "screen_reader.h"

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
    SetClientSize(ConvertDialogToPixels(wxSize(186, 214)));

    // Created in tab order. Every control has a mnemonic; the lists take
    // theirs, and their announced names, from the texts before them.
    auto* ok = new wxButton(this, wxID_OK, "&OK");
    FitToRow(ok, DialogUnitRect(this, 35, 194, 50, 14));
    ok->SetDefault();
    ok->SetFocus();
    auto* cancel = new wxButton(this, wxID_CANCEL, "&Cancel");
    FitToRow(cancel, DialogUnitRect(this, 101, 194, 50, 14));

    auto* refreshLabel = new wxStaticText(this, wxID_ANY, "Screen &refresh rate (per sec)");
    Place(refreshLabel, DialogUnitRect(this, 20, 20, 96, 12));
    Place(new wxStaticBox(this, wxID_ANY, "Analysis configuration"), DialogUnitRect(this, 5, 4, 175, 70));
    m_refreshList = new wxChoice(this, IDC_REFRESH);
    Fill(m_refreshList, RefreshRateEntries());
    FitToRow(m_refreshList, DialogUnitRect(this, 119, 19, 49, kListFieldHeight));
    LabelControl(refreshLabel, m_refreshList);

    auto* samplingLabel = new wxStaticText(this, wxID_ANY, "&Undersampling ratio");
    Place(samplingLabel, DialogUnitRect(this, 20, 39, 93, 12));
    m_samplingList = new wxChoice(this, IDC_SAMPLING);
    Fill(m_samplingList, SamplingRatioEntries());
    FitToRow(m_samplingList, DialogUnitRect(this, 119, 39, 49, kListFieldHeight));
    LabelControl(samplingLabel, m_samplingList);
    m_lowLatencyBox = new wxCheckBox(this, IDC_LOWLATENCY, "Low lat&ency picture");
    FitToRow(m_lowLatencyBox, DialogUnitRect(this, 20, 56, 156, 12));

    Place(new wxStaticBox(this, wxID_ANY, "Display options"), DialogUnitRect(this, 6, 80, 173, 61));
    m_waveformBox = new wxCheckBox(this, IDC_WAVEFORM, "Display &waveform");
    FitToRow(m_waveformBox, DialogUnitRect(this, 18, 93, 146, 12));
    m_timescaleBox = new wxCheckBox(this, IDC_TIMESCALE, "Display &timescale");
    FitToRow(m_timescaleBox, DialogUnitRect(this, 17, 107, 146, 12));

    auto* paletteLabel = new wxStaticText(this, wxID_ANY, "Co&lours");
    Place(paletteLabel, DialogUnitRect(this, 18, 123, 40, 12));
    m_paletteList = new wxChoice(this, IDC_PALETTE);
    Fill(m_paletteList, PaletteEntries());
    FitToRow(m_paletteList, DialogUnitRect(this, 60, 122, 108, kListFieldHeight));
    LabelControl(paletteLabel, m_paletteList);

    Place(new wxStaticBox(this, wxID_ANY, "Input"), DialogUnitRect(this, 6, 145, 173, 44));
    auto* inputLabel = new wxStaticText(this, wxID_ANY, "&Microphone");
    Place(inputLabel, DialogUnitRect(this, 18, 158, 40, 12));
    m_inputList = new wxChoice(this, IDC_INPUT);
    FitToRow(m_inputList, DialogUnitRect(this, 60, 157, 108, kListFieldHeight));
    LabelControl(inputLabel, m_inputList);
    auto* historyLabel = new wxStaticText(this, wxID_ANY, "&Keep the last");
    Place(historyLabel, DialogUnitRect(this, 18, 173, 48, 12));
    m_historyList = new wxChoice(this, IDC_HISTORY);
    for (const int32_t minutes : kHistoryMinuteChoices)
        m_historyList->Append(wxString::Format("%d", static_cast<int>(minutes)));
    FitToRow(m_historyList, DialogUnitRect(this, 68, 172, 36, kListFieldHeight));
    LabelControl(historyLabel, m_historyList);
    Place(new wxStaticText(this, wxID_ANY, "minutes"), DialogUnitRect(this, 108, 173, 40, 12));

    CentreOnParent();
}

bool CConfigDlg::TransferDataToWindow()
{
    m_refreshList->SetSelection(FirstEntryBeginningWith(RefreshRateEntries(), m_refresh));
    m_samplingList->SetSelection(FirstEntryBeginningWith(SamplingRatioEntries(), m_sampling));
    m_lowLatencyBox->SetValue(m_lowLatency != 0);
    m_timescaleBox->SetValue(m_timescale != 0);
    m_waveformBox->SetValue(m_waveform != 0);
    m_paletteList->SetSelection(EntryIndexOrFirst(PaletteEntries(), m_palette));
    // Read afresh each time the dialog opens: a chosen input that is not
    // there now still shows, by its name, so that OK keeps it.
    m_inputList->Clear();
    m_inputList->Append(kDefaultInputName);
    int chosen = 0;
    for (const InputChoice& input : m_inputs) {
        m_inputList->Append(wxString::FromUTF8(input.description));
        if (input.name == m_input)
            chosen = static_cast<int>(m_inputList->GetCount()) - 1;
    }
    if (!m_input.empty() && chosen == 0) {
        m_inputs.push_back({m_input, m_input});
        m_inputList->Append(wxString::FromUTF8(m_input));
        chosen = static_cast<int>(m_inputList->GetCount()) - 1;
    }
    m_inputList->SetSelection(chosen);
    m_historyList->SetStringSelection(wxString::FromUTF8(m_history));
    return true;
}

bool CConfigDlg::TransferDataFromWindow()
{
    m_refresh = TextOfSelection(RefreshRateEntries(), m_refreshList->GetSelection(), m_refresh);
    m_sampling = TextOfSelection(SamplingRatioEntries(), m_samplingList->GetSelection(), m_sampling);
    m_lowLatency = m_lowLatencyBox->GetValue() ? 1 : 0;
    m_timescale = m_timescaleBox->GetValue() ? 1 : 0;
    m_waveform = m_waveformBox->GetValue() ? 1 : 0;
    m_palette = EntryIndexOrFirst(PaletteEntries(), m_paletteList->GetSelection());
    const int input = m_inputList->GetSelection();
    if (input >= 0)
        m_input = input == 0 ? std::string() : m_inputs[static_cast<size_t>(input - 1)].name;
    if (m_historyList->GetSelection() >= 0)
        m_history = m_historyList->GetStringSelection().utf8_string();
    return true;
}

}  // namespace vocalume
