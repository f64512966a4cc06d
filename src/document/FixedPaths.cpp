#include "document/FixedPaths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>

#include "document/PathText.h"

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

namespace {

// Why `folder` cannot hold the previews, or nothing when it can: it must be
// this user's own folder, closed to writing by others, not reached through a
// link (someone else could then swap the files the view reads). It is
// created with mode 0700 when missing.
std::optional<std::string> Unfit(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return std::string(std::strerror(errno)) + ".";
    struct stat info{};
    if (::lstat(folder.c_str(), &info) != 0) return std::string(std::strerror(errno)) + ".";
    if (S_ISLNK(info.st_mode)) return std::string("it is a symbolic link.");
    if (!S_ISDIR(info.st_mode)) return std::string("it is not a folder.");
    if (info.st_uid != ::geteuid()) return std::string("it belongs to another user.");
    if (info.st_mode & (S_IWGRP | S_IWOTH)) return std::string("other users may write to it.");
    return std::nullopt;
}

// A private folder made in place of a shared one that could not be used; made
// once per run.
std::mutex privateFolderMutex;
std::string privateFolder;
std::string pendingNotice;

}  // namespace

Outcome<std::string> PreviewFolder() {
    // A relative runtime folder is ignored, as the base-directory convention
    // says.
    if (const std::string runtime = Environment("XDG_RUNTIME_DIR"); !runtime.empty() && runtime.front() == '/') {
        const std::string folder = WithoutTrailingSlash(runtime) + "/tweenwright";
        if (const auto why = Unfit(folder))
            return Outcome<std::string>::Failure("The previews cannot be written to \"" + folder + "\": " + *why);
        return Outcome<std::string>::Success(folder);
    }
    const std::string temporary = Environment("TMPDIR");
    const std::string base = WithoutTrailingSlash(temporary.empty() || temporary.front() != '/' ? "/tmp" : temporary);
    const std::string shared = base + "/tweenwright-" + std::to_string(::geteuid());
    const std::optional<std::string> why = Unfit(shared);
    if (!why) return Outcome<std::string>::Success(shared);

    // Another user (or a link) holds the usual name: a folder of our own,
    // made with a name no one can take first.
    const std::lock_guard<std::mutex> lock(privateFolderMutex);
    if (privateFolder.empty() || Unfit(privateFolder)) {
        std::string pattern = shared + "-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            return Outcome<std::string>::Failure("The previews cannot be written to \"" + shared + "\": " + *why +
                                                 " No folder of its own could be made beside it: " +
                                                 std::strerror(errno) + ".");
        privateFolder = pattern;
        pendingNotice = "The previews cannot be written to \"" + shared + "\": " + *why +
                        " They are written to \"" + privateFolder + "\" instead.";
    }
    return Outcome<std::string>::Success(privateFolder);
}

void RemovePrivatePreviewFolder() {
    const std::lock_guard<std::mutex> lock(privateFolderMutex);
    if (privateFolder.empty()) return;
    for (const std::string& file : {KeyframePreviewPath(privateFolder, KeyframeSide::Initial),
                                    KeyframePreviewPath(privateFolder, KeyframeSide::Final),
                                    AnimationPreviewPath(privateFolder)})
        ::unlink(file.c_str());
    ::rmdir(privateFolder.c_str());  // fails, leaving it, unless it is empty
    privateFolder.clear();
}

Outcome<std::string> PoseFolder() {
    std::string data = Environment("XDG_DATA_HOME");
    if (data.empty() || data.front() != '/') {
        const std::string home = Environment("HOME");
        if (home.empty() || home.front() != '/')
            return Outcome<std::string>::Failure("The poses have no folder: neither XDG_DATA_HOME nor HOME is set.");
        data = WithoutTrailingSlash(home) + "/.local/share";
    }
    data = WithoutTrailingSlash(data);
    // The folders above it, as the base-directory convention makes them.
    for (std::size_t at = 1; at <= data.size(); ++at)
        if (at == data.size() || data[at] == '/') ::mkdir(data.substr(0, at).c_str(), 0700);
    ::mkdir((data + "/tweenwright").c_str(), 0700);
    const std::string folder = data + "/tweenwright/poses";
    if (const auto why = Unfit(folder))
        return Outcome<std::string>::Failure("The poses cannot be kept in " + QuotedPath(folder) + ": " + *why);
    return Outcome<std::string>::Success(folder);
}

std::string TakePreviewFolderNotice() {
    const std::lock_guard<std::mutex> lock(privateFolderMutex);
    return std::exchange(pendingNotice, std::string());
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
