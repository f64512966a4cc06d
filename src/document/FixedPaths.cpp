#include "document/FixedPaths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tw {
namespace {

std::string WithoutTrailingSlash(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : "";
}

}  // namespace

std::string StartupBackgroundPath() {
    const std::string home = Environment("HOME");
    return WithoutTrailingSlash(home.empty() ? "/tmp" : home) + "/tweenwrightBG.jpeg";
}

Outcome<std::string> PreviewFolder() {
    std::string folder;
    if (const std::string runtime = Environment("XDG_RUNTIME_DIR"); !runtime.empty()) {
        folder = WithoutTrailingSlash(runtime) + "/tweenwright";
    } else {
        const std::string temporary = Environment("TMPDIR");
        folder = WithoutTrailingSlash(temporary.empty() ? "/tmp" : temporary) + "/tweenwright-" +
                 std::to_string(::geteuid());
    }
    const auto refuse = [&](const std::string& why) {
        return Outcome<std::string>::Failure("The previews cannot be written to \"" + folder + "\": " + why);
    };
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return refuse(std::string(std::strerror(errno)) + ".");
    struct stat info{};
    if (::lstat(folder.c_str(), &info) != 0) return refuse(std::string(std::strerror(errno)) + ".");
    if (S_ISLNK(info.st_mode)) return refuse("it is a symbolic link.");
    if (!S_ISDIR(info.st_mode)) return refuse("it is not a folder.");
    if (info.st_uid != ::geteuid()) return refuse("it belongs to another user.");
    if (info.st_mode & (S_IWGRP | S_IWOTH)) return refuse("other users may write to it.");
    return Outcome<std::string>::Success(folder);
}

std::string KeyframePreviewPath(const std::string& folder, KeyframeSide side) {
    return folder + (side == KeyframeSide::Initial ? "/initial.hap" : "/final.hap");
}

std::string AnimationPreviewPath(const std::string& folder) {
    return folder + "/animationtest.hap";
}

Outcome<std::string> KeyframePreviewFile(KeyframeSide side) {
    Outcome<std::string> folder = PreviewFolder();
    if (!folder) return folder;
    return Outcome<std::string>::Success(KeyframePreviewPath(folder.value(), side));
}

Outcome<std::string> AnimationPreviewFile() {
    Outcome<std::string> folder = PreviewFolder();
    if (!folder) return folder;
    return Outcome<std::string>::Success(AnimationPreviewPath(folder.value()));
}

}  // namespace tw
