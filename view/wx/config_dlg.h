// The Configuration dialog: screen refresh rate and undersampling ratio as
// drop-down lists and the low-latency picture as a check box, the two display
// options as check boxes and the colours as
// a drop-down list, and the input: the microphone and how much of the
// session is kept. The caller
// fills the fields, shows the dialog modally and reads the fields after OK.
#pragma once

#include <string>
#include <vector>

#include "sound_source.h"

#include <wx/dialog.h>

class wxCheckBox;
class wxChoice;

namespace vocalume {

inline constexpr int IDC_REFRESH = 1000;
inline constexpr int IDC_SAMPLING = 1001;
inline constexpr int IDC_WAVEFORM = 1002;
inline constexpr int IDC_TIMESCALE = 1003;
inline constexpr int IDC_PALETTE = 1004;
inline constexpr int IDC_INPUT = 1005;
inline constexpr int IDC_HISTORY = 1006;
inline constexpr int IDC_LOWLATENCY = 1007;

class CConfigDlg : public wxDialog {
public:
    explicit CConfigDlg(wxWindow* parent);

    // Field to control when the dialog opens, control to field on OK.
    bool TransferDataToWindow() override;
    bool TransferDataFromWindow() override;

    std::string m_refresh;
    std::string m_sampling;
    int m_lowLatency = 0;
    int m_timescale = 0;
    int m_waveform = 0;
    // Index of the chosen colours: 0 standard, 1 colour-blind safe.
    int m_palette = 0;
    // The inputs offered after "Default input", the chosen one's name (empty:
    // the default), and the minutes kept as text.
    std::vector<InputChoice> m_inputs;
    std::string m_input;
    std::string m_history;

private:
    // Child controls, owned by the dialog and destroyed with it.
    wxChoice* m_refreshList = nullptr;
    wxChoice* m_samplingList = nullptr;
    wxCheckBox* m_lowLatencyBox = nullptr;
    wxCheckBox* m_waveformBox = nullptr;
    wxCheckBox* m_timescaleBox = nullptr;
    wxChoice* m_paletteList = nullptr;
    wxChoice* m_inputList = nullptr;
    wxChoice* m_historyList = nullptr;
};

}  // namespace vocalume
