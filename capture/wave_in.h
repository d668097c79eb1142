// CWaveIn, the sound-input device: records 16-bit stereo into four equal
// buffers that circulate between the device and the program. A filled buffer
// is announced to the host ("buffer done"); the program reads one channel out
// of it (ReadChannel) and hands it straight back (QueueNextBuffer).
//
// Threads: every operation runs on the user-interface thread except the
// SoundSink side, which the source calls from its own thread. The hand-off
// between the two is lock-free: two counters, buffers handed to the device and
// buffers it has filled, each written by one side only.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "sound_source.h"

namespace vocalume {

// What the device needs of the window it reports to.
class WaveInHost {
public:
    virtual ~WaveInHost() = default;
    // A buffer has been filled. Called on the source's thread: post a notice
    // to the user-interface thread and return at once.
    virtual void PostBufferDone() = 0;
    // The sound has ended (sound files); posted after the last buffer's notice.
    virtual void PostEndOfStream() {}
    // The device stopped for good while recording (a sound server that went
    // away, a microphone unplugged); `reason` says why in the user's terms.
    // Called on a sound thread, at most once per Open: post it on.
    virtual void PostDeviceLost(const std::string& reason) { (void)reason; }
    // A source that opens its device after Open returned could not open it;
    // `message` is the whole message for the user. Called on a sound thread,
    // at most once per Open: post it on.
    virtual void PostOpenFailed(const std::string& message) { PostDeviceLost(message); }
    // Shows a message to the user; called on the user-interface thread.
    virtual void ShowMessage(const std::string& text) = 0;
};

inline constexpr int kWaveBuffers = 4;
inline constexpr const char* kOpenFailedMessage = "Failed to open record device";

class CWaveIn final : private SoundSink {
public:
    // Records from `source`, which the device owns for its whole life.
    explicit CWaveIn(std::unique_ptr<SoundSource> source);
    virtual ~CWaveIn();
    CWaveIn(const CWaveIn&) = delete;
    CWaveIn& operator=(const CWaveIn&) = delete;

    void AllocateBuffers(int samplesPerBuffer);
    void FreeBuffers();

    // 0 on success, -1 on failure (already open, or the source could not be
    // opened: the host is shown a message once and the device stays closed).
    int Open(WaveInHost* host, int rate, int samplesPerBuffer);
    // 0 when the device was open, -1 when it was not.
    int Close();
    // Hands buffer m_currentIndex to the device: 1 on success; 0 when closed
    // or when the source refuses it, which closes the device.
    int QueueNextBuffer();
    // Copies channel 1 (left) or any other (right) of the buffer at
    // m_currentIndex; count is clamped to the buffer's capacity.
    int ReadChannel(int16_t* destination, int channel, int count);

    // True when the buffer at m_currentIndex has been filled and not yet handed
    // back: a "buffer done" notice that finds none is left over from an
    // earlier recording and must be ignored.
    bool IsBufferDone() const;
    // Sample pairs dropped because all four buffers were with the program.
    int64_t OverrunFrames() const { return m_overrunFrames.load(std::memory_order_relaxed); }
    // Lets a pumped source deliver its next buffer on this thread.
    bool PumpSource() { return m_isOpen != 0 && m_source && m_source->Pump(); }
    // The input the source records from at the next Open (see SoundSource).
    void SetInput(const std::string& name)
    {
        if (m_source)
            m_source->SetInput(name);
    }
    // After Open: the chosen input was missing and the default one records.
    bool InputMissing() const { return m_isOpen != 0 && m_source && m_source->InputMissing(); }

    int32_t m_isOpen = 0;
    int32_t m_bufferBytes = 0;
    int32_t m_currentIndex = 0;
    int32_t m_state = 0;  // 2 while recording
    WaveFormat m_format;
    // Interleaved stereo pairs, left first.
    std::array<std::unique_ptr<int16_t[]>, kWaveBuffers> m_dataBuffers;

private:
    void Deliver(const int16_t* pairs, int32_t frames) override;
    int32_t FramesWanted() const override;
    int32_t BufferPairs() const override { return Capacity(); }
    void EndOfStream() override;
    void DeviceLost(const std::string& reason) override;
    void OpenFailed(const std::string& message) override;
    int32_t Capacity() const { return m_bufferBytes / 4; }

    std::unique_ptr<SoundSource> m_source;
    // Set by Open; must outlive the device's being open (Close ends its use).
    WaveInHost* m_host = nullptr;
    // Buffers handed to the device since Open (user-interface thread writes).
    std::atomic<uint64_t> m_queued{0};
    // Buffers the device has filled since Open (source thread writes).
    std::atomic<uint64_t> m_filled{0};
    int32_t m_fillPos = 0;  // source thread: pairs already in the buffer being filled
    std::atomic<int64_t> m_overrunFrames{0};
};

}  // namespace vocalume
