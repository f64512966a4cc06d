#include "generation/ScriptFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <system_error>
#include <thread>

#include "generation/FileMessages.h"
#include "generation/HapScript.h"
#include "generation/HeldStopSignals.h"
#include "generation/TornTail.h"

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

// Writes '"' + block + '"' + CR LF to fd. Returns 0, or the error number.
int WriteRecord(int fd, std::string_view block) {
    iovec pieces[3] = {
        {const_cast<char*>(RecordOpen.data()), RecordOpen.size()},
        {const_cast<char*>(block.data()), block.size()},
        {const_cast<char*>(RecordClose.data()), RecordClose.size()},
    };
    return WriteOut(fd, pieces, 3, RecordWrite());
}

// Opens the file for reading and appending, creating it when it is missing
// and `create` allows. `created` tells whether this call made it. Returns the
// descriptor or -1 with errno set. The open never waits: a pipe without a
// reader fails at once (ENXIO) rather than waiting for one.
int OpenForAppend(const char* name, bool create, bool& created) {
    created = false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = ::open(name, O_RDWR | O_APPEND | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0 || errno != ENOENT || !create) return fd;
        fd = ::open(name, O_RDWR | O_APPEND | O_NONBLOCK | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            created = true;
            return fd;
        }
        if (errno != EEXIST) return -1;
        // Someone made it between the two calls: open it as an existing file.
    }
    return -1;
}

// Takes the exclusive lock on fd, trying again every few milliseconds until
// `wait` has passed. 0, EWOULDBLOCK when another writer held it throughout,
// or another error number. A file system that has no locks is written
// unlocked, as before locks were taken at all.
int LockWithin(int fd, std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
        const int error = errno;
        if (error == EINTR) continue;
        if (error == ENOLCK || error == EOPNOTSUPP || error == EINVAL) return 0;
        if (error != EWOULDBLOCK) return error;
        if (std::chrono::steady_clock::now() >= deadline) return EWOULDBLOCK;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace

GatheredWrite& RecordWrite() {
    static GatheredWrite write = [](int fd, const iovec* pieces, int count) {
        return ::writev(fd, pieces, count);
    };
    return write;
}

Outcome<LockedScriptFile> LockedScriptFile::Take(const std::filesystem::path& path, Open open,
                                                 std::chrono::milliseconds wait, std::string_view busy,
                                                 FileChange::Left* left, std::string_view purpose) {
    using Result = Outcome<LockedScriptFile>;
    if (left) *left = FileChange::Left::AsItWas;
    const char* name = path.c_str();
    // Something that is there but not a file (a pipe, a device, a socket) is
    // refused before it is opened: opening a device can have effects of its
    // own, and a pipe would hold the program until someone reads it.
    struct stat there {};
    if (::stat(name, &there) == 0 && !S_ISREG(there.st_mode))
        return Result::Failure(NotAFile(path, KindOf(there.st_mode)).error());

    const auto deadline = std::chrono::steady_clock::now() + wait;
    // A few rounds: each one that finds the path moved on to another file
    // (removed or replaced by the writer before) opens what is there now.
    for (int round = 0; round < 8; ++round) {
        bool created = false;
        const int fd = OpenForAppend(name, open == Open::CreateWhenMissing, created);
        if (fd < 0) {
            const int error = errno;
            // A link to nothing: the creating open refuses to follow it
            // (EEXIST), which would read as if the file were there.
            struct stat link {};
            if (error == EEXIST && ::lstat(name, &link) == 0 && S_ISLNK(link.st_mode)) {
                return Result::Failure(Named(path) +
                                       " is a symbolic link that points nowhere: what it names does "
                                       "not exist.");
            }
            return Result::Failure("Could not open " + Named(path) + " " + std::string(purpose) + ": " +
                                   Reason(error) + ".");
        }
        const auto fail = [&](std::string message) {
            ::close(fd);
            return Result::Failure(std::move(message));
        };
        struct stat opened {};
        if (::fstat(fd, &opened) != 0)
            return fail("Could not read the size of " + Named(path) + ": " + Reason(errno) + ".");
        // Replaced by something else since the first look.
        if (!S_ISREG(opened.st_mode)) return fail(NotAFile(path, KindOf(opened.st_mode)).error());

        const auto left_ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::max(
            deadline - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration::zero()));
        if (const int error = LockWithin(fd, left_ms); error != 0) {
            // A file made here is not removed: the writer holding its lock
            // may be writing to it.
            if (error == EWOULDBLOCK) {
                if (left) *left = FileChange::Left::Busy;
                return fail(std::string(busy));
            }
            return fail("Could not lock " + Named(path) + " " + std::string(purpose) + ": " + Reason(error) +
                        ".");
        }
        struct stat locked {
        }, now{};
        if (::fstat(fd, &locked) != 0)
            return fail("Could not read the size of " + Named(path) + ": " + Reason(errno) + ".");
        if (::stat(name, &now) != 0 || now.st_dev != locked.st_dev || now.st_ino != locked.st_ino) {
            ::close(fd);
            if (open == Open::OnlyWhenThere && ::access(name, F_OK) != 0) {
                return Result::Failure(Named(path) + " was removed while it waited for another writer.");
            }
            continue;
        }
        // A regular file never blocks, but its writes should wait as usual.
        ::fcntl(fd, F_SETFL, O_APPEND);
        return Result::Success(LockedScriptFile(fd, static_cast<std::uint64_t>(locked.st_size), created));
    }
    return Result::Failure(Named(path) + " kept being replaced while it waited for another writer.");
}

LockedScriptFile::LockedScriptFile(LockedScriptFile&& other) noexcept
    : fd_(other.fd_), length_(other.length_), created_(other.created_) {
    other.fd_ = -1;
}

LockedScriptFile::~LockedScriptFile() {
    if (fd_ >= 0) ::close(fd_);
}

int LockedScriptFile::Close() {
    const int fd = fd_;
    fd_ = -1;
    return fd >= 0 && ::close(fd) != 0 ? errno : 0;
}

namespace {

// Appends the record; with a precondition, only onto a file that is there.
FileChange Append(const std::filesystem::path& path, std::string_view block,
                  const AppendPrecondition* precondition, std::string_view busy,
                  std::chrono::milliseconds wait) {
    const char* name = path.c_str();
    const HeldStopSignals held;
    FileChange::Left left = FileChange::Left::AsItWas;
    Outcome<LockedScriptFile> taken = LockedScriptFile::Take(
        path,
        precondition ? LockedScriptFile::Open::OnlyWhenThere : LockedScriptFile::Open::CreateWhenMissing,
        wait, busy, &left);
    if (!taken) return FileChange::Failure(taken.error(), left);
    LockedScriptFile& file = taken.value();
    const auto oldLength = static_cast<off_t>(file.length());
    if (precondition) {
        if (std::optional<std::string> refusal = (*precondition)(file.fd(), file.length()))
            return FileChange::Failure(std::move(*refusal));
    }
    // Nothing goes after a record that another append left unfinished: the
    // new one would be read as part of it.
    if (file.length() > 0) {
        const Outcome<std::optional<TornTail>> torn = FindTornTail(file.fd(), file.length());
        if (!torn) return FileChange::Failure("Could not read " + Named(path) + ": " + torn.error() + ".");
        if (torn.value())
            return FileChange::Torn(TornTailMessage(path.native(), torn.value()->length),
                                    torn.value()->length);
    }

    // On any failure from here the file is cut back, still under the lock, to
    // its length when the lock was taken: only this call's bytes go. A file
    // this call made, and nobody wrote to before, is removed.
    const auto undo = [&](const std::string& what, int error) {
        const std::string failed = what + Named(path) + ": " + Reason(error) + ".";
        if (file.created() && oldLength == 0) {
            ::unlink(name);
            return FileChange::Failure(failed);
        }
        if (::ftruncate(file.fd(), oldLength) != 0) {
            return FileChange::Failure(
                failed + " The file could not be cut back to its previous length: " + Reason(errno) + ".",
                FileChange::Left::Changed);
        }
        ::fdatasync(file.fd());
        return FileChange::Failure(failed);
    };
    int error = WriteRecord(file.fd(), block);
    if (error != 0) return undo("Could not write the script to ", error);
    error = SyncToDisk(file.fd(), name, file.created());
    if (error != 0) return undo("Could not save the script to the disk for ", error);
    // The record is on the disk (fdatasync said so) and the lock is given up
    // with the close; an error of the close itself changes neither.
    (void)file.Close();
    return FileChange::Success();
}

}  // namespace

// A large write goes out this much at a time, and each piece's way to the
// disk starts as soon as it is written: the disk then works while the next
// piece is copied, and the sync after it waits for far less.
constexpr std::size_t WritePiece = std::size_t{8} << 20;

int WriteOut(int fd, iovec* pieces, int count, const GatheredWrite& write) {
    std::size_t total = 0;
    for (int i = 0; i < count; ++i) total += pieces[i].iov_len;
    constexpr int MostPieces = 8;
    int first = 0;
    while (first < count) {
        if (pieces[first].iov_len == 0) {
            ++first;
            continue;
        }
        // The pieces left, cut to WritePiece bytes in all.
        iovec piece[MostPieces];
        int taken = 0;
        std::size_t room = WritePiece;
        for (int i = first; i < count && taken < MostPieces && room > 0; ++i) {
            piece[taken] = pieces[i];
            piece[taken].iov_len = std::min(piece[taken].iov_len, room);
            room -= piece[taken].iov_len;
            ++taken;
        }
        const ssize_t written = write(fd, piece, taken);
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (written == 0) return ENOSPC;  // no progress: treat as a full device
        // Only a start: the caller's fdatasync waits for it and reports its errors.
        if (total > WritePiece) ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
        auto left = static_cast<std::size_t>(written);
        while (left > 0) {
            iovec& done = pieces[first];
            if (left >= done.iov_len) {
                left -= done.iov_len;
                done.iov_len = 0;
                ++first;
            } else {
                done.iov_base = static_cast<char*>(done.iov_base) + left;
                done.iov_len -= left;
                left = 0;
            }
        }
    }
    return 0;
}

FileChange AppendQuotedRecord(const std::filesystem::path& path, std::string_view block,
                              std::chrono::milliseconds wait) {
    return Append(path, block, nullptr, BusyAddMessage, wait);
}

FileChange AppendQuotedRecordOnto(const std::filesystem::path& path, std::string_view block,
                                  const AppendPrecondition& precondition, std::string_view busy,
                                  std::chrono::milliseconds wait) {
    return Append(path, block, &precondition, busy, wait);
}

Outcome<void> ReplaceWithQuotedRecord(const std::filesystem::path& path, std::string_view block) {
    static std::atomic<unsigned> counter{0};
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";

    struct stat old {};
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
        return Outcome<void>::Failure("Could not create a file beside " + Named(path) + ": " + Reason(errno) +
                                      ".");
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
