#include "wave_in.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vocalume {
namespace {
constexpr auto kAcquire = std::memory_order_acquire;
constexpr auto kRelease = std::memory_order_release;
constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int kInitialSamplesPerBuffer = 2048;
}  // namespace

void DebugLog(const std::string& line)
{
    if (std::getenv("VOCALUME_DEBUG") != nullptr)
        std::fprintf(stderr, "vocalume: %s\n", line.c_str());
}

CWaveIn::CWaveIn(std::unique_ptr<SoundSource> source) : m_source(std::move(source))
{
    AllocateBuffers(kInitialSamplesPerBuffer);
}

CWaveIn::~CWaveIn()
{
    Close();
    FreeBuffers();
}

void CWaveIn::AllocateBuffers(int samplesPerBuffer)
{
    // Buffers are only ever replaced while closed, so no source writes here.
    samplesPerBuffer = std::max(samplesPerBuffer, 1);
    m_bufferBytes = samplesPerBuffer * 4;
    for (auto& buffer : m_dataBuffers)
        buffer = std::make_unique<int16_t[]>(static_cast<size_t>(samplesPerBuffer) * 2);
}

void CWaveIn::FreeBuffers()
{
    for (auto& buffer : m_dataBuffers)
        buffer.reset();
}

int CWaveIn::Open(WaveInHost* host, int rate, int samplesPerBuffer)
{
    if (m_isOpen == 1)
        return -1;
    m_currentIndex = 0;
    m_state = 2;
    FreeBuffers();
    AllocateBuffers(samplesPerBuffer);

    m_format = WaveFormat{};
    m_format.samplesPerSec = rate;
    m_format.avgBytesPerSec = rate * 4;

    m_host = host;
    m_queued.store(0, kRelaxed);
    m_filled.store(0, kRelaxed);
    m_fillPos = 0;
    m_overrunFrames.store(0, kRelaxed);

    std::string reason;
    if (!m_source || !m_source->Open(m_format, *this, reason)) {
        if (m_host)
            m_host->ShowMessage(reason.empty() ? kOpenFailedMessage : reason);
        m_state = 0;
        return -1;
    }
    m_isOpen = 1;
    m_currentIndex = 0;
    if (QueueNextBuffer() == 0) {
        Close();
        return -1;
    }
    m_source->Start();
    for (int i = 1; i < kWaveBuffers; ++i)
        QueueNextBuffer();
    return 0;
}

int CWaveIn::Close()
{
    if (m_isOpen == 0)
        return -1;
    m_source->Stop();
    m_source->Close();
    m_isOpen = 0;
    m_state = 0;
    return 0;
}

int CWaveIn::QueueNextBuffer()
{
    if (m_isOpen == 0)
        return 0;
    // Release: the program's reads of this buffer happen before the source
    // may write into it again. Counted before the source hears of it, so that
    // a source woken by BufferQueued finds the buffer there.
    m_queued.fetch_add(1, kRelease);
    if (!m_source->BufferQueued()) {
        Close();
        return 0;
    }
    m_currentIndex = (m_currentIndex + 1) % kWaveBuffers;
    return 1;
}

bool CWaveIn::IsBufferDone() const
{
    if (m_isOpen == 0)
        return false;
    const uint64_t queued = m_queued.load(kRelaxed);
    return m_filled.load(kAcquire) + kWaveBuffers > queued;
}

int CWaveIn::ReadChannel(int16_t* destination, int channel, int count)
{
    count = std::clamp(count, 0, Capacity());
    // Acquire: see what the source wrote before it counted the buffer filled.
    (void)m_filled.load(kAcquire);
    const int16_t* source = m_dataBuffers[static_cast<size_t>(m_currentIndex)].get();
    const int offset = channel == 1 ? 0 : 1;
    for (int i = 0; i < count; ++i)
        destination[i] = source[2 * i + offset];
    return count;
}

void CWaveIn::Deliver(const int16_t* pairs, int32_t frames)
{
    const int32_t capacity = Capacity();
    uint64_t filled = m_filled.load(kRelaxed);
    while (frames > 0) {
        if (filled >= m_queued.load(kAcquire)) {
            // All four buffers are with the program: the sound is lost, as
            // with a real device.
            m_overrunFrames.fetch_add(frames, kRelaxed);
            return;
        }
        int16_t* buffer = m_dataBuffers[filled % kWaveBuffers].get();
        const int32_t n = std::min(frames, capacity - m_fillPos);
        std::memcpy(buffer + 2 * m_fillPos, pairs, static_cast<size_t>(n) * 2 * sizeof(int16_t));
        pairs += 2 * n;
        frames -= n;
        m_fillPos += n;
        if (m_fillPos == capacity) {
            m_fillPos = 0;
            m_filled.store(++filled, kRelease);
            if (m_host)
                m_host->PostBufferDone();
        }
    }
}

int32_t CWaveIn::FramesWanted() const
{
    const uint64_t held = m_queued.load(kAcquire) - m_filled.load(kRelaxed);
    return held == 0 ? 0 : static_cast<int32_t>(held) * Capacity() - m_fillPos;
}

void CWaveIn::EndOfStream()
{
    if (m_fillPos > 0) {
        const uint64_t filled = m_filled.load(kRelaxed);
        int16_t* buffer = m_dataBuffers[filled % kWaveBuffers].get();
        std::fill(buffer + 2 * m_fillPos, buffer + 2 * Capacity(), int16_t{0});
        m_fillPos = 0;
        m_filled.store(filled + 1, kRelease);
        if (m_host)
            m_host->PostBufferDone();
    }
    if (m_host)
        m_host->PostEndOfStream();
}

void CWaveIn::DeviceLost(const std::string& reason)
{
    if (m_host)
        m_host->PostDeviceLost(reason);
}

void CWaveIn::OpenFailed(const std::string& message)
{
    if (m_host)
        m_host->PostOpenFailed(message);
}

}  // namespace vocalume
