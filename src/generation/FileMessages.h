// Words the script file's messages share: a path in quotation marks, the
// reason an error number stands for, and what a path that is not a regular
// file names.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>
#include <system_error>

#include "document/PathText.h"

namespace tw::file_messages {

inline std::string Reason(int error) { return std::generic_category().message(error); }

inline std::string Named(std::string_view path) { return QuotedPath(path); }

inline std::string KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a pipe";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "a special file";
}

}  // namespace tw::file_messages
