// The analysis view's host in the browser: the page's canvas, status bar,
// scroll bar, dialogs and timers, the microphone and Web Audio, and the
// file work the page runs in a worker of its own. It does for the page what
// the desktop's window (view/wx) does for the desktop: it hands events to
// the view's commands and keys and shows what the view asks for; whatever
// a user can do is the view's.
//
// Threads: the page has one thread; the host, the view and the analysis all
// run on it. The analysis core's scan runs right after each buffer of sound
// (there is no worker thread without shared memory), as the render tool
// runs it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis_view.h"
#include "analysis_worker.h"
#include "file_commands.h"
#include "sound_chunks.h"
#include "view_host.h"
#include "web_settings_store.h"

namespace vocalume {

class WebSoundSource;

// The page's timers besides the view's own two.
inline constexpr int kJobTimerId = 4;  // beside the view's own timers

class CWebHost final : public ViewHost {
public:
    CWebHost(int width, int height);
    ~CWebHost() override;
    CWebHost(const CWebHost&) = delete;
    CWebHost& operator=(const CWebHost&) = delete;

    CAnalysisView& View() { return *m_view; }

    // Events of the page.
    void OnChar(int character);
    void OnKey(ViewKey key);
    void OnCommand(int id);
    void OnTimer(int id);
    void OnSound(const float* samples, int32_t count, int32_t rate);
    void OnMicrophoneLost(const std::string& reason);
    // Paints columns `left` to `right` (all when `left` is negative) and
    // returns the shown picture as 4-byte pixels (red, green, blue, 255),
    // ShownWidth × ShownHeight, rows without padding.
    const uint8_t* Paint(int left, int right);

    // File work runs in the page's worker.
    bool Busy() const { return m_work.has_value(); }

    // File work in the page's worker. Begin… return false when it must not
    // start (another runs, or the user kept the recording); the page then
    // runs the analysis with AnalysisOptionsNow and hands the result to
    // EndJob.
    bool BeginOpenRecording(const std::string& name);
    bool BeginOpenModel(const std::string& name);
    bool BeginExport();
    enum class Job { Recording, Model, Export };
    void EndJob(Job job, const std::string& result, const uint8_t* bytes, size_t size, const std::string& name,
                const std::string& path);
    void JobProgress(int percent) { m_jobPercent = percent; }
    // The options of the file work begun, as integers.
    std::vector<int32_t> AnalysisOptionsNow() const;
    // The session's sound, for the frame table.
    const SoundChunks& ExportSound() const { return m_work ? m_work->sound : m_noSound; }

    // The newest sample of the session the live picture shows, for the
    // page's latency measurement; -1 when none.
    double NewestShownSample() const;
    int64_t SamplesHeard() const;

    // ViewHost
    void RequestPaint() override;
    void SetPauseTimer(int milliseconds) override;
    void KillPauseTimer() override;
    void SetPlayTimer(int milliseconds) override;
    void KillPlayTimer() override;
    void SetReviewTimer(int milliseconds) override;
    void KillReviewTimer() override;
    void RequestPaintColumns(int left, int right) override;
    void ShowMessage(const std::string& text) override;
    bool RunConfigDialog(ConfigValues& values) override;
    bool RunTargetDialog(TargetValues& values) override;
    void PostBufferDone() override { ++m_notices; }
    void SetStatusText(StatusField field, const std::string& text) override;
    void ShowScrollBar(bool shown, int64_t position, int64_t page, int64_t range) override;
    bool AskYesNo(const std::string& question) override;
    SaveAnswer AskSaveRecording() override;

private:
    // The device's notices, taken in order once the call that posted them
    // has returned; each buffer is analysed at once.
    void TakeNotices();
    bool BeginJob(FileWork work);
    void ShowJob(bool shown);

    WebSettingsStore m_store;
    std::unique_ptr<AnalysisCore> m_core;
    std::unique_ptr<AnalyserState> m_state;
    WebSoundSource* m_source = nullptr;  // the view's, while the view lives
    std::unique_ptr<CAnalysisView> m_view;
    uint64_t m_notices = 0;
    bool m_taking = false;
    std::vector<uint8_t> m_rgba;
    std::string m_stateText;
    int m_jobPercent = 0;
    int m_jobTicks = 0;
    bool m_jobShown = false;
    // The file work running, while it runs.
    std::optional<FileWork> m_work;
    SoundChunks m_noSound;
};

}  // namespace vocalume
