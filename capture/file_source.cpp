#include "file_source.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>

#include "file_decoder.h"

namespace vocalume {
namespace {
constexpr int32_t kChunkPairs = 256;  // about 23 ms at the recording rate
}

std::string DamageNote(const SoundFileReport& report, const std::string& soundName)
{
    if (report.damagedFrames <= 0 || report.fileRate <= 0)
        return {};
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", static_cast<double>(report.damagedFrames) / report.fileRate);
    std::string name = soundName;
    if (!name.empty())
        name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    return name + " is damaged: " + std::to_string(report.damagedFrames) + " of its samples (" + seconds +
           " s) hold no number and are read as silence.";
}

FileSoundSource::FileSoundSource(std::string path, Pacing pacing, std::shared_ptr<SoundFileReport> report)
    : m_path(std::move(path)), m_pacing(pacing), m_report(std::move(report))
{
}

FileSoundSource::~FileSoundSource()
{
    Stop();
    Close();
}

bool FileSoundSource::Open(const WaveFormat& format, SoundSink& sink, std::string& userMessage)
{
    m_decoder = FileDecoder::Open(m_path, format.samplesPerSec, userMessage);
    if (!m_decoder)
        return false;
    m_expectedPairs = m_decoder->ExpectedPairs();
    m_rate = format.samplesPerSec;
    m_sink = &sink;
    m_ended = false;
    m_stop = false;
    return true;
}

void FileSoundSource::Start()
{
    if (!m_decoder || m_thread.joinable())
        return;
    if (m_pacing == Pacing::RealTime)
        m_thread = std::thread([this] { RunRealTime(); });
    else if (m_pacing == Pacing::AsRequeued)
        m_thread = std::thread([this] { RunAsRequeued(); });
}

bool FileSoundSource::BufferQueued()
{
    if (m_pacing == Pacing::AsRequeued) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wake.notify_one();
    }
    return true;
}

void FileSoundSource::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

void FileSoundSource::Close()
{
    if (m_report && m_decoder) {
        m_report->damagedFrames = m_decoder->DamagedFrames();
        m_report->fileRate = m_decoder->FileRate();
    }
    m_decoder.reset();
    m_sink = nullptr;
}

bool FileSoundSource::Pump()
{
    if (m_pacing != Pacing::OnDemand || !m_sink || m_ended)
        return false;
    int32_t wanted = m_sink->FramesWanted();
    while (wanted > 0 && !m_ended) {
        const int32_t n = std::min(wanted, kChunkPairs);
        if (!DeliverSome(n))
            break;
        wanted -= n;
    }
    return !m_ended;
}

bool FileSoundSource::DeliverSome(int32_t frames)
{
    int16_t chunk[2 * kChunkPairs];
    const int32_t n = m_decoder->Read(chunk, std::min(frames, kChunkPairs));
    if (n > 0)
        m_sink->Deliver(chunk, n);
    if (n < frames) {
        // Only the end of the sound leaves a read short.
        m_sink->EndOfStream();
        m_ended = true;
        return false;
    }
    return true;
}

void FileSoundSource::RunRealTime()
{
    using Clock = std::chrono::steady_clock;
    const auto chunkTime = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(kChunkPairs) / m_rate));
    auto next = Clock::now();
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_wake.wait_until(lock, next, [this] { return m_stop; }))
                return;
        }
        if (!DeliverSome(kChunkPairs))
            return;
        next += chunkTime;
    }
}

void FileSoundSource::RunAsRequeued()
{
    for (;;) {
        int32_t wanted = 0;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [&] {
                wanted = m_sink->FramesWanted();
                return m_stop || wanted > 0;
            });
            if (m_stop)
                return;
        }
        if (!DeliverSome(std::min(wanted, kChunkPairs)))
            return;
    }
}

}  // namespace vocalume
