// The application object: names the settings store, creates and shows the
// main frame, and serves the About and web home page commands.
#pragma once

#include <memory>

#include <wx/app.h>

namespace vocalume {

class AnalysisCore;
class WxSettingsStore;

inline constexpr const char* kVendorName = "Larkspur Tools";
inline constexpr const char* kAppName = "Vocalume - The Sound Prism";

class CAnalysisApp : public wxApp {
public:
    bool OnInit() override;
    int OnExit() override;

private:
    void OnAppAbout(wxCommandEvent& event);
    void OnWebHome(wxCommandEvent& event);
    void OnAppExit(wxCommandEvent& event);

    // Outlives the frame: the frame and the view write to it when destroyed.
    std::unique_ptr<WxSettingsStore> m_store;
    // The program's one analysis core. It outlives the frame too, and is
    // destroyed in OnExit, which joins its worker while everything the
    // worker uses (down to the program's static tables) still exists.
    std::unique_ptr<AnalysisCore> m_core;
};

}  // namespace vocalume
