// The file a save dialog's answer is written to, free of wx so that tests
// need no toolkit. A name typed without an extension gets the chosen type's,
// unless a file of the typed name itself exists: the dialog asked the user
// about that file, so it is the one meant (and a device or folder there is
// then refused by the writer, as any typed name is). A file that exists
// under the name the program adds is asked about, as the dialog asks about a
// typed one.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace vocalume {

// `typed` is the dialog's path, `extension` the chosen type's (no dot).
// `askReplace` is asked, with the file's name, whether to replace a file
// that exists under the added extension. Empty when the user declined.
std::optional<std::string> NameToWrite(const std::string& typed, const std::string& extension,
                                       const std::function<bool(const std::string& name)>& askReplace);

}  // namespace vocalume
