// The file reader is used here only to learn how long a sound is.
#include <sndfile.h>

#include "renderer.h"

namespace vocalume {

int64_t EstimatedSamples(const std::string& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr)
        return 0;
    sf_close(file);
    if (info.samplerate <= 0 || info.frames <= 0)
        return 0;
    return static_cast<int64_t>(static_cast<double>(info.frames) * 11025.0 / info.samplerate);
}

}  // namespace vocalume
