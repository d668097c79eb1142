// The analysis view: everything between the sound device and the screen.
// It holds the settings, the framer, the sound-input device and the retained
// picture, handles the Start/Pause/Configure commands, the keys and the pause
// timer, and talks to its window only through ViewHost. All operations run on
// the user-interface thread.
#pragma once

#include <cstdint>
#include <memory>

#include "settings_store.h"
#include "view_host.h"

namespace vocalume {

class AnalysisCore;

// Command identifiers of the view's menu items.
inline constexpr int ID_WEB_HOME = 32771;
inline constexpr int ID_RECORD_START = 32772;
inline constexpr int ID_RECORD_PAUSE = 32773;
inline constexpr int ID_CONFIGURE = 32774;
inline constexpr int kPauseTimerId = 1;
inline constexpr int kPauseTimerMs = 500;

class CAnalysisView {
public:
    // Reads the "config" settings, fixes the constants, computes the framing
    // and resets the ring of `core`.
    CAnalysisView(SettingsStore& store, AnalysisCore& core);
    // Tells the worker to end, writes the settings back, closes the device.
    ~CAnalysisView();

    // Window-creation work: remembers the host and computes the framing again.
    void OnCreate(ViewHost& host);
    // The client area changed size: the picture is rebuilt and redrawn whole.
    void OnSize(int width, int height);
    // Draws the invalid part of the retained picture. The window then copies
    // the picture to the screen.
    void OnPaint();

    void OnStart();
    void OnPause();
    void OnTimer();
    void OnConfigure();
    void OnChar(int character);
    void RedrawAll();
    void ToggleRecording();
    // A capture buffer is done (posted by the host from the sound thread).
    void OnWimData();

    bool IsRecording() const;

    // The retained picture: rows top-down, 3 bytes (red, green, blue) per
    // pixel, no padding between rows.
    int SurfaceWidth() const;
    int SurfaceHeight() const;
    const uint8_t* SurfaceRgb() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace vocalume
