// Playing back through the page's Web Audio: the samples go to an audio
// buffer at the recording rate, and the position heard is read from the
// audio clock, less what the output still holds.
//
// Threads: the page's one thread. The page holds its own copy of the
// samples.
#pragma once

#include "sound_output.h"

namespace vocalume {

class WebSoundOutput final : public SoundOutput {
public:
    bool Play(SoundChunks samples, int64_t from, std::string& reason) override;
    void Stop() override;
    int64_t HeardPosition() const override;
    bool Finished() const override;

private:
    int64_t m_from = 0;
    int64_t m_end = 0;
    bool m_playing = false;
};

}  // namespace vocalume
