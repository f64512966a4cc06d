#include "generation/ScriptFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>

#include "generation/HapScript.h"

namespace tw {
namespace {

std::string Reason(int error) { return std::generic_category().message(error); }

std::string Named(const std::filesystem::path& path) {
    std::string text(1, '"');
    text += path.string();
    text += '"';
    return text;
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
int OpenForAppend(const char* name, bool& created) {
    created = false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = ::open(name, O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd >= 0 || errno != ENOENT) return fd;
        fd = ::open(name, O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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

Outcome<void> AppendQuotedRecord(const std::filesystem::path& path, std::string_view block) {
    const char* name = path.c_str();
    bool created = false;
    const int fd = OpenForAppend(name, created);
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
    const off_t oldLength = before.st_size;
    const bool regular = S_ISREG(before.st_mode);

    std::string undoNote;
    const int writeError = WriteRecord(fd, block);
    if (writeError != 0) {
        if (!created && regular && ::ftruncate(fd, oldLength) != 0) {
            undoNote = " The file could not be cut back to its previous length: " + Reason(errno) + ".";
        }
        ::close(fd);
        if (created) ::unlink(name);
        return Outcome<void>::Failure("Could not write the script to " + Named(path) + ": " +
                                   Reason(writeError) + "." + undoNote);
    }

    if (::close(fd) != 0) {
        const int error = errno;
        if (created) {
            ::unlink(name);
        } else if (regular && ::truncate(name, oldLength) != 0) {
            undoNote = " The file could not be cut back to its previous length: " + Reason(errno) + ".";
        }
        return Outcome<void>::Failure("Could not finish writing the script to " + Named(path) + ": " +
                                   Reason(error) + "." + undoNote);
    }
    return Outcome<void>::Success();
}

Outcome<void> ReplaceWithQuotedRecord(const std::filesystem::path& path, std::string_view block) {
    static std::atomic<unsigned> counter{0};
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";

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

    struct stat old{};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        ::fchmod(fd, old.st_mode & 07777);
    }

    const auto fail = [&](const std::string& what, int error) {
        ::unlink(temporary.c_str());
        return Outcome<void>::Failure(what + Named(path) + ": " + Reason(error) + ".");
    };

    const int writeError = WriteRecord(fd, block);
    if (writeError != 0) {
        ::close(fd);
        return fail("Could not write the script for ", writeError);
    }
    if (::close(fd) != 0) return fail("Could not finish writing the script for ", errno);
    if (::rename(temporary.c_str(), path.c_str()) != 0) return fail("Could not replace ", errno);
    return Outcome<void>::Success();
}

}  // namespace tw
