// Playing back through the page's Web Audio: the samples go to an audio
// buffer at the recording rate, and the position heard is read from the
// audio clock, less what the output still holds.
//
// Threads: the page's one thread. The samples are kept until the next Play
// or Stop.
#pragma once

#include <memory>
#include <vector>

#include "sound_output.h"

namespace vocalume {

class WebSoundOutput final : public SoundOutput {
public:
    bool Play(std::shared_ptr<const std::vector<int16_t>> samples, int64_t from, std::string& reason) override;
    void Stop() override;
    int64_t HeardPosition() const override;
    bool Finished() const override;

private:
    std::shared_ptr<const std::vector<int16_t>> m_samples;
    int64_t m_from = 0;
    bool m_playing = false;
};

}  // namespace vocalume
