// Sound from a file: any rate and channel count the file reader knows,
// delivered as stereo at the recording rate (mono feeds both channels; a file already at
// the recording rate is passed through sample for sample). At the end, the
// last partial buffer is completed with silence and the host is told.
//
// Pacing:
//  - RealTime: a thread delivers as a microphone would; when the program
//    holds all four buffers the sound is dropped.
//  - AsRequeued: a thread delivers as fast as the program hands buffers back.
//  - OnDemand: no thread; each Pump fills the buffers the device holds on the
//    calling thread, so that a single-threaded renderer is reproducible.
// Every Open starts again from the beginning of the file; standard input
// (kStandardInput) is read once and cannot be opened again.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "sound_source.h"

namespace vocalume {

// The path that names the process's standard input, as command-line tools do.
inline constexpr const char* kStandardInput = "-";

class FileDecoder;

// What reading a sound file met that the user should know although its sound
// was read: frames that held no number (NaN, infinity) and were read as
// silence.
struct SoundFileReport {
    int64_t damagedFrames = 0;  // at the file's own rate
    int32_t fileRate = 0;
};

// One sentence telling the user what `report` found in the sound named
// `soundName` ("the sound file \"a.wav\""); empty when there is nothing to
// tell.
std::string DamageNote(const SoundFileReport& report, const std::string& soundName);

class FileSoundSource : public SoundSource {
public:
    enum class Pacing { RealTime, AsRequeued, OnDemand };

    // `report`, where given, is filled in when the source closes.
    FileSoundSource(std::string path, Pacing pacing, std::shared_ptr<SoundFileReport> report = nullptr);
    ~FileSoundSource() override;

    bool Open(const WaveFormat& format, SoundSink& sink, std::string& userMessage) override;
    void Start() override;
    bool BufferQueued() override;
    void Stop() override;
    void Close() override;
    bool Pump() override;

    // Sample pairs the file's header promises at the recording rate, known
    // after a successful Open; 0 when unknown (a stream). Only for sizing and
    // progress: the sound delivered may be shorter.
    int64_t ExpectedPairs() const override { return m_expectedPairs; }

private:
    // Delivers up to `frames` pairs; false once the end has been reported.
    bool DeliverSome(int32_t frames);
    void RunRealTime();
    void RunAsRequeued();

    std::string m_path;
    Pacing m_pacing;
    std::unique_ptr<FileDecoder> m_decoder;
    std::shared_ptr<SoundFileReport> m_report;
    SoundSink* m_sink = nullptr;
    bool m_ended = false;
    int m_rate = kRecordingRate;
    int64_t m_expectedPairs = 0;

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
};

}  // namespace vocalume
