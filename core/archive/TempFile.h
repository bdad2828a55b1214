#pragma once

#include <string>

#include "core/db/UniqueFd.h"

namespace velmorant {

// Creates a new, empty file for writing beside its final place: `base` + "." + six random
// letters or digits + ".tmp", in the folder open as `folderFd` (AT_FDCWD: `base` is a path).
// The name is made exclusively (O_CREAT | O_EXCL | O_NOFOLLOW): an existing file or symbolic
// link of that name is never opened or written through, and another name is tried instead.
// The mode is 0666 less the umask, as for any new file. Returns the open file and sets `name`
// to the name created (relative to `folderFd`, like `base`); returns an empty UniqueFd with
// errno set when no file could be created.
UniqueFd CreateTempFileAt(int folderFd, const std::string& base, std::string& name);

}  // namespace velmorant
