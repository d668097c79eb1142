#include "save_name.h"

#include <sys/stat.h>

#include <filesystem>

namespace vocalume {
namespace {

// Anything at `path`, a link that leads nowhere too.
bool SomethingAt(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

std::optional<std::string> NameToWrite(const std::string& typed, const std::string& extension,
                                       const std::function<bool(const std::string& name)>& askReplace)
{
    const std::filesystem::path name(typed);
    if (extension.empty() || name.has_extension() || !name.has_filename() || SomethingAt(typed))
        return typed;
    const std::string added = typed + "." + extension;
    if (SomethingAt(added) && !askReplace(std::filesystem::path(added).filename().string()))
        return std::nullopt;
    return added;
}

}  // namespace vocalume
