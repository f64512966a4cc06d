// Bytes taken off a script file, kept as a file of their own before the cut,
// so that no cut loses them.
#pragma once

#include <string>
#include <string_view>

namespace tw {

// Writes all of `bytes` to `fd`, going on after partial writes; a write that
// takes nothing counts as a full disk; a large write starts its way to the
// disk piece by piece, for the fdatasync after it. 0 or the error number.
int WriteAll(int fd, std::string_view bytes);

// Writes a new file at `path` holding `bytes`, readable by this user only,
// and makes it and its entry in the folder reach the disk. 0 or the error
// number; on failure nothing is left behind.
int WriteKeptFile(const std::string& path, std::string_view bytes);

}  // namespace tw
