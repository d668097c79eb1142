// Sound from a file: any rate and channel count the file reader knows,
// delivered as 11025 Hz stereo (mono feeds both channels; a file already at
// the recording rate is passed through sample for sample). At the end, the
// last partial buffer is completed with silence and the host is told.
//
// Pacing:
//  - RealTime: a thread delivers as a microphone would; when the program
//    holds all four buffers the sound is dropped.
//  - AsRequeued: a thread delivers as fast as the program hands buffers back.
//  - OnDemand: no thread; each Pump fills the buffers the device holds on the
//    calling thread, so that a single-threaded renderer is reproducible.
// Every Open starts again from the beginning of the file.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sound_source.h"

namespace vocalume {

class FileDecoder;

class FileSoundSource : public SoundSource {
public:
    enum class Pacing { RealTime, AsRequeued, OnDemand };

    FileSoundSource(std::string path, Pacing pacing);
    ~FileSoundSource() override;

    bool Open(const WaveFormat& format, SoundSink& sink, std::string& userMessage) override;
    void Start() override;
    bool BufferQueued() override;
    void Stop() override;
    void Close() override;
    bool Pump() override;

    // The file's own rate and channel count, known after a successful Open.
    int FileRate() const { return m_fileRate; }
    int FileChannels() const { return m_fileChannels; }

private:
    // Delivers up to `frames` pairs; false once the end has been reported.
    bool DeliverSome(int32_t frames);
    void RunRealTime();
    void RunAsRequeued();

    std::string m_path;
    Pacing m_pacing;
    std::unique_ptr<FileDecoder> m_decoder;
    SoundSink* m_sink = nullptr;
    bool m_ended = false;
    int m_rate = 11025;
    int m_fileRate = 0;
    int m_fileChannels = 0;

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
};

}  // namespace vocalume
