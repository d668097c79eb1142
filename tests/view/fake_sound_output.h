// A sound output the test moves by hand: it keeps what it was asked to play
// and tells the position and the end the test sets.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sound_output.h"

namespace vocalume {

struct FakeSoundOutput final : SoundOutput {
    bool Play(SoundChunks played, int64_t start, std::string& reason) override
    {
        ++plays;
        if (!works) {
            reason = "no sound output device was found";
            return false;
        }
        samples = std::move(played);
        from = heard = start;
        finished = false;
        return true;
    }
    void Stop() override
    {
        ++stops;
        finished = true;
    }
    int64_t HeardPosition() const override { return heard; }
    bool Finished() const override { return finished; }
    std::string Problem() const override { return problem; }

    bool works = true;
    int plays = 0;
    int stops = 0;
    SoundChunks samples;
    int64_t from = -1;
    int64_t heard = 0;
    bool finished = true;
    std::string problem;  // why playing ended early, once finished
};

}  // namespace vocalume
