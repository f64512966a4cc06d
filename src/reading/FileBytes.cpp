#include "reading/FileBytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

#include "document/PathText.h"

namespace tw {
namespace {

std::string Named(const std::filesystem::path& path) { return QuotedPath(path.native()); }

std::string CannotRead(const std::filesystem::path& path, int error) {
    return "Could not read " + Named(path) + ": " + std::generic_category().message(error) + ".";
}

// Sets *fault when asked for.
void Note(FileFault* fault, FileFault what) {
    if (fault) *fault = what;
}

}  // namespace

std::string FileShrankMessage(const std::filesystem::path& path) {
    return "The file " + Named(path) + " became shorter while it was read; nothing was loaded from it.";
}

std::string TooLargeMessage(const std::filesystem::path& path, std::uint64_t limit) {
    return "The file " + Named(path) + " is not read: it is larger than " + std::to_string(limit >> 20) + " MB.";
}

OpenedFile::OpenedFile(int fd, std::uint64_t size, std::filesystem::path path)
    : fd_(fd), size_(size), path_(std::move(path)) {}

OpenedFile::OpenedFile(OpenedFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_), path_(std::move(other.path_)) {}

OpenedFile& OpenedFile::operator=(OpenedFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        size_ = other.size_;
        path_ = std::move(other.path_);
    }
    return *this;
}

OpenedFile::~OpenedFile() {
    if (fd_ >= 0) ::close(fd_);
}

Outcome<OpenedFile> OpenedFile::Open(const std::filesystem::path& path, FileFault* fault) {
    using Result = Outcome<OpenedFile>;
    Note(fault, FileFault::None);
    // Non-blocking, so opening a pipe without a writer does not wait; what was
    // opened is then judged by its descriptor, not by the path, which another
    // program may have swapped meanwhile.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT) {
            Note(fault, FileFault::Missing);
            return Result::Failure("The file " + Named(path) + " does not exist.");
        }
        Note(fault, error == EACCES || error == EPERM ? FileFault::NoPermission : FileFault::Other);
        return Result::Failure(CannotRead(path, error));
    }
    OpenedFile file(fd, 0, path);
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        Note(fault, FileFault::Other);
        return Result::Failure(CannotRead(path, errno));
    }
    if (S_ISDIR(status.st_mode)) {
        Note(fault, FileFault::Folder);
        return Result::Failure(Named(path) + " is a folder, not a file.");
    }
    if (!S_ISREG(status.st_mode)) {
        Note(fault, FileFault::NotRegular);
        return Result::Failure(Named(path) + " is not a regular file.");
    }
    file.size_ = status.st_size > 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
    return Result::Success(std::move(file));
}

int ReadExactlyAt(int fd, char* out, std::size_t count, std::uint64_t offset) {
    while (count > 0) {
        const ssize_t got = ::pread(fd, out, count, static_cast<off_t>(offset));
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) return -1;
        out += got;
        offset += static_cast<std::uint64_t>(got);
        count -= static_cast<std::size_t>(got);
    }
    return 0;
}

std::size_t OpenedFile::ReadCachedAt(std::uint64_t offset, char* out, std::size_t count) const {
    std::size_t done = 0;
    while (done < count) {
        iovec piece{out + done, count - done};
        const ssize_t got = ::preadv2(fd_, &piece, 1, static_cast<off_t>(offset + done), RWF_NOWAIT);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

void OpenedFile::WillNeed(std::uint64_t offset, std::uint64_t count) const {
    ::posix_fadvise(fd_, static_cast<off_t>(offset), static_cast<off_t>(count), POSIX_FADV_WILLNEED);
}

Outcome<void> OpenedFile::ReadAt(std::uint64_t offset, char* out, std::size_t count, FileFault* fault) const {
    const int error = ReadExactlyAt(fd_, out, count, offset);
    if (error > 0) {
        Note(fault, FileFault::Other);
        return Outcome<void>::Failure(CannotRead(path_, error));
    }
    if (error < 0) {
        Note(fault, FileFault::Shrank);
        return Outcome<void>::Failure(FileShrankMessage(path_));
    }
    return Outcome<void>::Success();
}

Outcome<std::string> ReadWholeFile(const std::filesystem::path& path, std::uint64_t maxBytes,
                                   const StopFlag* stop, FileFault* fault) {
    using Result = Outcome<std::string>;
    Outcome<OpenedFile> file = OpenedFile::Open(path, fault);
    if (!file) return Result::Failure(file.error());
    const std::uint64_t size = file.value().size();
    if (size > maxBytes) {
        Note(fault, FileFault::TooLarge);
        return Result::Failure(TooLargeMessage(path, maxBytes));
    }
    std::string bytes(static_cast<std::size_t>(size), '\0');
    for (std::uint64_t at = 0; at < size;) {
        if (stop && stop->load(std::memory_order_relaxed)) {
            Note(fault, FileFault::Stopped);
            return Result::Failure(ReadStoppedMessage);
        }
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(ReadChunkBytes, size - at));
        if (Outcome<void> read = file.value().ReadAt(at, bytes.data() + at, count, fault); !read)
            return Result::Failure(read.error());
        at += count;
    }
    return Result::Success(std::move(bytes));
}

}  // namespace tw
