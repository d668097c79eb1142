// Recording control: the sound-input device and the states the view walks
// through with it. Idle; recording (the device open, a worker analysing);
// pausing, from a Pause until its timer fires (the device closed, the worker
// still analysing what the ring holds, so that the last columns get their
// colour); and back to idle, the worker ended. A device lost while recording,
// or one that failed to open after Start had returned (a live device opens in
// the background), is told to the user once and handled as a Pause.
//
// Threads: user-interface thread, but for the device's notices, which come
// on a sound thread: a buffer notice is posted on to the host at once, the
// message for a lost or unopened device is kept under a lock until the
// user-interface thread takes it. `core` must outlive this; the host, once attached, too.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "analysis_worker.h"
#include "view_host.h"
#include "wave_in.h"

namespace vocalume {

inline constexpr int kPauseTimerMs = 500;

class RecordingControl final : private WaveInHost {
public:
    // `workerThread` false: no worker is begun; whoever drives the view scans
    // the ring on its own thread.
    RecordingControl(AnalysisCore& core, std::unique_ptr<SoundSource> source, bool workerThread);
    ~RecordingControl() override;
    RecordingControl(const RecordingControl&) = delete;
    RecordingControl& operator=(const RecordingControl&) = delete;

    void Attach(ViewHost* host) { m_host = host; }

    bool Recording() const { return m_waveIn.m_isOpen != 0; }
    // From a Pause until its timer has fired (or a Start or EndPause ended it).
    bool Pausing() const { return m_pauseTimerSet; }
    // Neither: the picture stands still and may be looked back through.
    bool Still() const { return !Recording() && !m_pauseTimerSet; }

    // Opens the device for buffers of `samplesPerBuffer` samples and begins a
    // worker. A pause still pending is cancelled first, so that its timer
    // cannot end the new recording's worker; a lost-device notice left from
    // before is forgotten. A device that fails to open has told the user;
    // the worker still runs, so that the frames held are analysed and shown.
    void Start(int32_t samplesPerBuffer);
    // Closes the device and sets the pause timer. False when not recording.
    bool Pause();
    // Ends a pause now: the timer killed, the worker told to end.
    void EndPause();
    // Closes the device for good (the view goes).
    void Close() { m_waveIn.Close(); }

    // True, with the message for the user, when the device was lost (or
    // failed to open) since the last call.
    bool TakeDeviceLost(std::string& message);

    // The input recorded from at the next Start (empty: the default one), and
    // whether the last Start found it missing and recorded the default.
    void SetInput(const std::string& name) { m_waveIn.SetInput(name); }
    bool InputMissing() const { return m_waveIn.InputMissing(); }

    CWaveIn& WaveIn() { return m_waveIn; }
    const CWaveIn& WaveIn() const { return m_waveIn; }

private:
    void PostBufferDone() override;
    void PostDeviceLost(const std::string& reason) override;
    void PostOpenFailed(const std::string& message) override;
    void PostDeviceNews(const std::string& message);
    void ShowMessage(const std::string& text) override;

    AnalysisCore& m_core;
    const bool m_workerThread;
    ViewHost* m_host = nullptr;
    bool m_pauseTimerSet = false;
    std::mutex m_lostMutex;  // guards the two below, written on a sound thread
    bool m_deviceLost = false;
    std::string m_lostMessage;
    // Last, so that it is closed (and its sound thread gone) before the rest.
    CWaveIn m_waveIn;
};

}  // namespace vocalume
