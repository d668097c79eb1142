#include "suggested_name.h"

namespace vocalume {

std::string SuggestedRecordingName(std::time_t now)
{
    std::tm local{};
    localtime_r(&now, &local);
    char name[64];
    std::strftime(name, sizeof name, "vocalume-%Y-%m-%d-%H%M.wav", &local);
    return name;
}

}  // namespace vocalume
