#include "generation/ScriptFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <system_error>

#include "generation/FileMessages.h"
#include "generation/HapScript.h"
#include "generation/HeldStopSignals.h"

namespace tw {
namespace {

using file_messages::KindOf;
using file_messages::Reason;

std::string Named(const std::filesystem::path& path) { return file_messages::Named(path.native()); }

Outcome<void> NotAFile(const std::filesystem::path& path, const std::string& kind) {
    return Outcome<void>::Failure(Named(path) + " is " + kind +
                                  ", not a file: a script can only be written to a file.");
}

// Makes the data of fd, and for a file just created its entry in the folder,
// reach the disk. Returns 0, or the error number.
int SyncToDisk(int fd, const char* name, bool created) {
    if (::fdatasync(fd) != 0) return errno;
    if (!created) return 0;
    std::filesystem::path folder = std::filesystem::path(name).parent_path();
    if (folder.empty()) folder = ".";
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return 0;  // the data is on disk; the entry follows with the next sync
    const int error = ::fsync(dir) == 0 ? 0 : errno;
    ::close(dir);
    return error == EINVAL ? 0 : error;  // some file systems cannot sync a folder
}

// Writes '"' + block + '"' + CR LF to fd in gathered writes, continuing after
// partial writes and interruptions. Returns 0, or the error number.
int WriteRecord(int fd, std::string_view block) {
    iovec pieces[3] = {
        {const_cast<char*>(RecordOpen.data()), RecordOpen.size()},
        {const_cast<char*>(block.data()), block.size()},
        {const_cast<char*>(RecordClose.data()), RecordClose.size()},
    };
    int first = 0;
    while (first < 3) {
        if (pieces[first].iov_len == 0) {
            ++first;
            continue;
        }
        const ssize_t written = ::writev(fd, pieces + first, 3 - first);
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (written == 0) return ENOSPC;  // no progress: treat as a full device
        auto left = static_cast<std::size_t>(written);
        while (left > 0) {
            iovec& piece = pieces[first];
            if (left >= piece.iov_len) {
                left -= piece.iov_len;
                piece.iov_len = 0;
                ++first;
            } else {
                piece.iov_base = static_cast<char*>(piece.iov_base) + left;
                piece.iov_len -= left;
                left = 0;
            }
        }
    }
    return 0;
}

// Opens the file for appending, creating it when it is missing. `created`
// tells whether this call made it. Returns the descriptor or -1 with errno set.
// The open never waits: a pipe without a reader fails at once (ENXIO) rather
// than waiting for one.
int OpenForAppend(const char* name, bool& created) {
    created = false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = ::open(name, O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0 || errno != ENOENT) return fd;
        fd = ::open(name, O_WRONLY | O_APPEND | O_NONBLOCK | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            created = true;
            return fd;
        }
        if (errno != EEXIST) return -1;
        // Someone made it between the two calls: open it as an existing file.
    }
    return -1;
}

}  // namespace

namespace {

// Appends the record; with a precondition, only onto a file that is there,
// opened for reading as well so the precondition can look at it.
Outcome<void> Append(const std::filesystem::path& path, std::string_view block,
                     const AppendPrecondition* precondition) {
    const char* name = path.c_str();
    // Something that is there but not a file (a pipe, a device, a socket) is
    // refused before it is opened: opening a device can have effects of its
    // own, and a pipe would hold the program until someone reads it.
    struct stat there{};
    if (::stat(name, &there) == 0 && !S_ISREG(there.st_mode)) return NotAFile(path, KindOf(there.st_mode));

    const HeldStopSignals held;
    bool created = false;
    const int fd = precondition ? ::open(name, O_RDWR | O_APPEND | O_NONBLOCK | O_CLOEXEC)
                                : OpenForAppend(name, created);
    if (fd < 0) {
        return Outcome<void>::Failure("Could not open " + Named(path) + " to add the script: " +
                                   Reason(errno) + ".");
    }

    struct stat before{};
    if (::fstat(fd, &before) != 0) {
        const int error = errno;
        ::close(fd);
        if (created) ::unlink(name);
        return Outcome<void>::Failure("Could not read the size of " + Named(path) + ": " +
                                   Reason(error) + ".");
    }
    // Replaced by something else since the first look.
    if (!S_ISREG(before.st_mode)) {
        ::close(fd);
        return NotAFile(path, KindOf(before.st_mode));
    }
    const off_t oldLength = before.st_size;
    if (precondition) {
        if (std::optional<std::string> refusal = (*precondition)(fd, static_cast<std::uint64_t>(oldLength))) {
            ::close(fd);
            return Outcome<void>::Failure(std::move(*refusal));
        }
    }
    // A regular file never blocks, but its writes should wait as usual.
    ::fcntl(fd, F_SETFL, O_APPEND);

    // On any failure from here the file is cut back (or removed) to what it was.
    const auto undo = [&](const std::string& what, int error, bool open) {
        std::string undoNote;
        if (created) {
            ::unlink(name);
        } else if ((open ? ::ftruncate(fd, oldLength) : ::truncate(name, oldLength)) != 0) {
            undoNote = " The file could not be cut back to its previous length: " + Reason(errno) + ".";
        }
        if (open) ::close(fd);
        return Outcome<void>::Failure(what + Named(path) + ": " + Reason(error) + "." + undoNote);
    };
    int error = WriteRecord(fd, block);
    if (error != 0) return undo("Could not write the script to ", error, true);
    error = SyncToDisk(fd, name, created);
    if (error != 0) return undo("Could not save the script to the disk for ", error, true);
    if (::close(fd) != 0) return undo("Could not finish writing the script to ", errno, false);
    return Outcome<void>::Success();
}

}  // namespace

Outcome<void> AppendQuotedRecord(const std::filesystem::path& path, std::string_view block) {
    return Append(path, block, nullptr);
}

Outcome<void> AppendQuotedRecordOnto(const std::filesystem::path& path, std::string_view block,
                                     const AppendPrecondition& precondition) {
    return Append(path, block, &precondition);
}

Outcome<void> ReplaceWithQuotedRecord(const std::filesystem::path& path, std::string_view block) {
    static std::atomic<unsigned> counter{0};
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";

    struct stat old{};
    const bool exists = ::stat(path.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) return NotAFile(path, KindOf(old.st_mode));

    const HeldStopSignals held;
    std::filesystem::path temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = folder / (".tweenwright-" + std::to_string(::getpid()) + "-" +
                              std::to_string(counter.fetch_add(1)) + ".tmp");
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        return Outcome<void>::Failure("Could not create a file beside " + Named(path) + ": " +
                                   Reason(errno) + ".");
    }

    if (exists) ::fchmod(fd, old.st_mode & 07777);

    const auto fail = [&](const std::string& what, int error) {
        ::unlink(temporary.c_str());
        return Outcome<void>::Failure(what + Named(path) + ": " + Reason(error) + ".");
    };

    const int writeError = WriteRecord(fd, block);
    if (writeError != 0) {
        ::close(fd);
        return fail("Could not write the script for ", writeError);
    }
    if (::fdatasync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        return fail("Could not save the script to the disk for ", error);
    }
    if (::close(fd) != 0) return fail("Could not finish writing the script for ", errno);
    if (::rename(temporary.c_str(), path.c_str()) != 0) return fail("Could not replace ", errno);
    return Outcome<void>::Success();
}

}  // namespace tw
