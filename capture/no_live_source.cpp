// The live sound source of a build without sound devices (the headless parts
// built for another processor): it never opens, and says why.
#include <memory>
#include <string>

#include "sound_source.h"
#include "wave_in.h"

namespace vocalume {
namespace {

class NoLiveSoundSource : public SoundSource {
public:
    bool Open(const WaveFormat&, SoundSink&, std::string& userMessage) override
    {
        userMessage = "This build of Vocalume has no live sound input.";
        return false;
    }
    void Start() override {}
    void Stop() override {}
    void Close() override {}
};

}  // namespace

std::unique_ptr<SoundSource> MakeLiveSoundSource()
{
    return std::make_unique<NoLiveSoundSource>();
}

}  // namespace vocalume
