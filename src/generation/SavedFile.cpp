#include "generation/SavedFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tw {

Outcome<void> DeleteOneFile(const std::string& path) {
    const auto refuse = [&](const std::string& why) {
        return Outcome<void>::Failure("Could not delete \"" + path + "\": " + why);
    };
    struct stat info{};
    if (::lstat(path.c_str(), &info) != 0) return refuse(std::string(std::strerror(errno)) + ".");
    if (S_ISDIR(info.st_mode)) return refuse("it is a folder.");
    // unlink removes a link itself and never a folder.
    if (::unlink(path.c_str()) != 0) return refuse(std::string(std::strerror(errno)) + ".");
    return Outcome<void>::Success();
}

}  // namespace tw
