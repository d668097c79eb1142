#include "recording_control.h"

#include <utility>

namespace vocalume {

RecordingControl::RecordingControl(AnalysisCore& core, std::unique_ptr<SoundSource> source, bool workerThread)
    : m_core(core), m_workerThread(workerThread), m_waveIn(std::move(source))
{}

RecordingControl::~RecordingControl() { m_waveIn.Close(); }

void RecordingControl::Start(int32_t samplesPerBuffer)
{
    if (m_pauseTimerSet) {
        if (m_host != nullptr)
            m_host->KillPauseTimer();
        m_pauseTimerSet = false;
    }
    std::string stale;
    TakeDeviceLost(stale);
    m_waveIn.Open(this, kRecordingRate, samplesPerBuffer);
    if (m_workerThread)
        m_core.StartWorker();
}

bool RecordingControl::Pause()
{
    if (!Recording())
        return false;
    m_waveIn.Close();
    if (m_host != nullptr)
        m_host->SetPauseTimer(kPauseTimerMs);
    m_pauseTimerSet = true;
    return true;
}

void RecordingControl::EndPause()
{
    if (m_host != nullptr)
        m_host->KillPauseTimer();
    m_pauseTimerSet = false;
    m_core.EndWorker();
}

bool RecordingControl::TakeDeviceLost(std::string& message)
{
    std::lock_guard<std::mutex> lock(m_lostMutex);
    const bool lost = m_deviceLost;
    m_deviceLost = false;
    message = m_lostMessage;
    return lost;
}

void RecordingControl::PostBufferDone()
{
    if (m_host != nullptr)
        m_host->PostBufferDone();
}

void RecordingControl::PostDeviceLost(const std::string& reason)
{
    PostDeviceNews("The recording stopped: " + reason + ". Press space to try again.");
}

void RecordingControl::PostOpenFailed(const std::string& message)
{
    PostDeviceNews(message + ". Press space to try again.");
}

void RecordingControl::PostDeviceNews(const std::string& message)
{
    {
        std::lock_guard<std::mutex> lock(m_lostMutex);
        m_lostMessage = message;
        m_deviceLost = true;
    }
    // The message waits for the user-interface thread, which a notice of its
    // own wakes.
    PostBufferDone();
}

void RecordingControl::ShowMessage(const std::string& text)
{
    if (m_host != nullptr)
        m_host->ShowMessage(text);
}

}  // namespace vocalume
