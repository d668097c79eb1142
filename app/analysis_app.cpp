#include "analysis_app.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <wx/config.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>

#include "about_dlg.h"
#include "device_lane.h"
#include "analysis_worker.h"
#include "main_frame.h"
#include "vocalume_version.h"
#include "whole_file.h"
#include "wx_settings_store.h"

namespace vocalume {
namespace {

constexpr std::chrono::milliseconds kDeviceThreadsAtExit{600};

}  // namespace

bool CAnalysisApp::OnInit()
{
    SetVendorName(kVendorName);
    SetAppName(kAppName);
    SetAppDisplayName(kAppName);
    // Settings go only to our own store, never to a default one made on demand.
    wxConfigBase::DontCreateOnDemand();
    m_store = WxSettingsStore::ForUser(kVendorName, kAppName);
    // Said before the frame exists, so that its settings are known to be the
    // defaults when it opens.
    if (!m_store->StartupProblem().empty())
        wxMessageBox(m_store->StartupProblem(), kAppName, wxOK | wxICON_EXCLAMATION);

    Bind(wxEVT_MENU, &CAnalysisApp::OnAppAbout, this, wxID_ABOUT);
    Bind(wxEVT_MENU, &CAnalysisApp::OnWebHome, this, ID_WEB_HOME);
    Bind(wxEVT_MENU, &CAnalysisApp::OnAppExit, this, wxID_EXIT);

    m_core = std::make_unique<AnalysisCore>();
    auto* frame = new CMainFrame(*m_store, *m_core);
    if (!frame->GetHandle()) {
        delete frame;
        return false;
    }
    SetTopWindow(frame);
    frame->Show();
    frame->RestorePlacement();
    frame->Update();
    // `vocalume FILE`: the file is opened once the window is up, as if
    // chosen with File > Open recording.
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i].utf8_string();
        if (!arg.empty() && arg[0] != '-') {
            frame->CallAfter([frame, arg] { frame->OpenRecording(arg); });
            break;
        }
    }
    return true;
}

int CAnalysisApp::OnExit()
{
    // The frame, and with it the view, is gone: the sound is stopped, the
    // worker told to end and every setting written. Now the worker is
    // joined, before static destructors take away what it may still read.
    m_core.reset();
    if (m_store)
        m_store->Flush();
    m_store.reset();
    // A device thread given up inside a sound library that does not answer
    // (a frozen sound server) is waited for only this long. Past that, the
    // program ends here, everything of its own written, rather than tear
    // down the library's and the program's objects under that thread.
    if (!WaitForDeviceThreads(kDeviceThreadsAtExit)) {
        std::fflush(nullptr);
        std::_Exit(0);
    }
    return wxApp::OnExit();
}

void CAnalysisApp::OnAppAbout(wxCommandEvent&)
{
    CAboutDlg dlg(GetTopWindow());
    dlg.ShowModal();
}

void CAnalysisApp::OnWebHome(wxCommandEvent&)
{
    // The toolkit's own log is kept quiet: the user is told in our words.
    wxLogNull quiet;
    if (!wxLaunchDefaultBrowser(kHomePageUrl))
        wxMessageBox(wxString::Format("No web browser could be started. The home page is %s: open it in a "
                                      "browser of your choice.",
                                      kHomePageUrl),
                     kAppName, wxOK | wxICON_EXCLAMATION, GetTopWindow());
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
    const char* const usage = "Usage: vocalume [--version] [--help] [FILE]\n";
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.size() > 1 && arg[0] == '-' && arg != "--version" && arg != "--help" && arg != "-h") {
            std::fprintf(stderr, "vocalume: unknown option %s\n%sSee vocalume --help.\n", argv[i], usage);
            return 2;
        }
        if (arg == "--version") {
            std::printf("vocalume %s\n", vocalume::kVersion);
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::printf("%s"
                        "Shows your voice as moving coloured light. Press space to start and\n"
                        "pause recording; File > Configure sets the analysis and the colours.\n"
                        "FILE, a sound file, is opened as the session to look through.\n"
                        "See the manual page vocalume(1).\n",
                        usage);
            return 0;
        }
    }
    // Before any thread exists: a signal that ends the program removes the
    // temporary of a file being written, and a file-size limit fails a write
    // with a message instead of ending the program.
    vocalume::RemoveUnfinishedFilesOnSignal();
    return wxEntry(argc, argv);
}
