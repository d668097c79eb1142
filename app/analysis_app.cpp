#include "analysis_app.h"

#include <cstdio>
#include <string_view>

#include <wx/config.h>
#include <wx/log.h>
#include <wx/utils.h>

#include "about_dlg.h"
#include "analysis_worker.h"
#include "main_frame.h"
#include "vocalume_version.h"
#include "wx_settings_store.h"

namespace vocalume {

bool CAnalysisApp::OnInit()
{
    SetVendorName(kVendorName);
    SetAppName(kAppName);
    SetAppDisplayName(kAppName);
    // Settings go only to our own store, never to a default one made on demand.
    wxConfigBase::DontCreateOnDemand();
    m_store = WxSettingsStore::ForUser(kVendorName, kAppName);

    Bind(wxEVT_MENU, &CAnalysisApp::OnAppAbout, this, wxID_ABOUT);
    Bind(wxEVT_MENU, &CAnalysisApp::OnWebHome, this, ID_WEB_HOME);
    Bind(wxEVT_MENU, &CAnalysisApp::OnAppExit, this, wxID_EXIT);

    auto* frame = new CMainFrame(*m_store, TheAnalysisCore());
    if (!frame->GetHandle()) {
        delete frame;
        return false;
    }
    SetTopWindow(frame);
    frame->Show();
    frame->Update();
    return true;
}

int CAnalysisApp::OnExit()
{
    // The frame, and with it the view, is gone: every setting is written.
    if (m_store)
        m_store->Flush();
    m_store.reset();
    return wxApp::OnExit();
}

void CAnalysisApp::OnAppAbout(wxCommandEvent&)
{
    CAboutDlg dlg(GetTopWindow());
    dlg.ShowModal();
}

void CAnalysisApp::OnWebHome(wxCommandEvent&)
{
    // Nothing is reported when no browser can be started.
    wxLogNull quiet;
    wxLaunchDefaultBrowser(kHomePageUrl);
}

void CAnalysisApp::OnAppExit(wxCommandEvent&)
{
    if (wxWindow* top = GetTopWindow())
        top->Close();
}

}  // namespace vocalume

wxIMPLEMENT_APP_NO_MAIN(vocalume::CAnalysisApp);
wxIMPLEMENT_WX_THEME_SUPPORT

int main(int argc, char** argv)
{
    // As the toolkit's own entry point does: no debug assertions in an
    // optimised build.
    wxDISABLE_DEBUG_SUPPORT();
    // Answered before the toolkit starts, so that they work without a display.
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::printf("vocalume %s\n", vocalume::kVersion);
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::printf("Usage: vocalume [--version] [--help]\n"
                        "Shows your voice as moving coloured light. Press space to start and\n"
                        "pause recording; File > Configure sets the analysis and the colours.\n"
                        "See the manual page vocalume(1).\n");
            return 0;
        }
    }
    return wxEntry(argc, argv);
}
