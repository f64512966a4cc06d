#include "reading/FileBytes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <system_error>
#include <utility>

namespace tw {
namespace {

std::string Named(const std::filesystem::path& path) { return '"' + path.string() + '"'; }

std::string CannotRead(const std::filesystem::path& path, int error) {
    return "Could not read " + Named(path) + ": " + std::generic_category().message(error) + ".";
}

// Closes the descriptor on every way out.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

FileBytes::FileBytes(FileBytes&& other) noexcept
    : map_(std::exchange(other.map_, nullptr)), size_(std::exchange(other.size_, 0)) {}

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
    if (this != &other) {
        Release();
        map_ = std::exchange(other.map_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

FileBytes::~FileBytes() { Release(); }

void FileBytes::Release() {
    if (map_ != nullptr) ::munmap(const_cast<char*>(map_), size_);
    map_ = nullptr;
    size_ = 0;
}

Outcome<FileBytes> ReadFileBytes(const std::filesystem::path& path) {
    using Result = Outcome<FileBytes>;
    // Non-blocking, so opening a pipe without a writer does not wait.
    const Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (file.fd < 0) {
        if (errno == ENOENT) return Result::Failure("The file " + Named(path) + " does not exist.");
        return Result::Failure(CannotRead(path, errno));
    }
    struct stat status {};
    if (::fstat(file.fd, &status) != 0) return Result::Failure(CannotRead(path, errno));
    if (S_ISDIR(status.st_mode)) return Result::Failure(Named(path) + " is a folder, not a file.");
    if (!S_ISREG(status.st_mode)) return Result::Failure(Named(path) + " is not a regular file.");
    if (static_cast<unsigned long long>(status.st_size) > std::numeric_limits<std::size_t>::max() / 2)
        return Result::Failure(CannotRead(path, EFBIG));

    FileBytes bytes;
    const auto size = static_cast<std::size_t>(status.st_size);
    if (size == 0) return Result::Success(std::move(bytes));
    void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.fd, 0);
    if (map == MAP_FAILED) return Result::Failure(CannotRead(path, errno));
    bytes.map_ = static_cast<const char*>(map);
    bytes.size_ = size;
    return Result::Success(std::move(bytes));
}

}  // namespace tw
