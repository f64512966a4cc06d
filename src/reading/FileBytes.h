// Reading files for the readers with plain reads into memory, never through a
// mapping: another program may cut a file short or replace it while it is
// read, and a mapped page that vanishes would end the program. A file is
// opened without waiting (a pipe or device is refused after opening, by what
// the open descriptor is), read by position in chunks, and every read may be
// stopped from another thread between chunks.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "document/Outcome.h"

namespace tw {

// Set from any thread to stop a read between two chunks.
using StopFlag = std::atomic<bool>;

// Why a file was not read, for callers that word their own notes.
enum class FileFault { None, Missing, Folder, NotRegular, NoPermission, TooLarge, Shrank, Stopped, Other };

// A regular file opened for reading by position.
class OpenedFile {
public:
    // Opens `path` without waiting and checks the opened descriptor: a folder,
    // a pipe, a device or anything else but a regular file is refused with a
    // message naming the file, as is a file that does not exist or cannot be
    // opened.
    // `fault`, when given, receives why it failed (None on success).
    static Outcome<OpenedFile> Open(const std::filesystem::path& path, FileFault* fault = nullptr);

    OpenedFile(OpenedFile&& other) noexcept;
    OpenedFile& operator=(OpenedFile&& other) noexcept;
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;
    ~OpenedFile();

    // The size the file had when it was opened.
    std::uint64_t size() const { return size_; }
    const std::filesystem::path& path() const { return path_; }

    // Reads exactly `count` bytes at `offset` into `out`. Fails with a message
    // when the file no longer holds them (cut short meanwhile) or a read fails.
    Outcome<void> ReadAt(std::uint64_t offset, char* out, std::size_t count, FileFault* fault = nullptr) const;

    // Reads into `out` what the system holds in memory of the `count` bytes
    // at `offset`, from the first one on, without waiting for the disk: how
    // many were read (0 where the system would have to wait for the first
    // one, or cannot say). The caller reads the rest with ReadAt.
    std::size_t ReadCachedAt(std::uint64_t offset, char* out, std::size_t count) const;

    // Asks the system to start reading `count` bytes at `offset` from the
    // disk now, without waiting: for a reading that goes backwards, which
    // the system does not read ahead of. Only advice; nothing fails.
    void WillNeed(std::uint64_t offset, std::uint64_t count) const;

private:
    OpenedFile(int fd, std::uint64_t size, std::filesystem::path path);
    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::filesystem::path path_;
};

// Reads exactly `count` bytes at `offset` of the open descriptor `fd`, going
// on after short reads and interruptions: 0, the error number, or -1 when the
// file ends first. Every read by position in the program goes through it.
int ReadExactlyAt(int fd, char* out, std::size_t count, std::uint64_t offset);

// The message for a file that grew shorter than it was while it was read.
std::string FileShrankMessage(const std::filesystem::path& path);
// The message for a read stopped through its stop flag.
inline constexpr const char* ReadStoppedMessage = "The reading was stopped.";
// "larger than N MB", for a refusal by size.
std::string TooLargeMessage(const std::filesystem::path& path, std::uint64_t limit);

// The whole regular file at `path`, as large as it was when opened, read in
// chunks; refused when that size is above `maxBytes` (however much the file
// would deliver, no more than that is ever read). `stop`, when given, is
// looked at between chunks; `fault`, when given, receives why it failed.
Outcome<std::string> ReadWholeFile(const std::filesystem::path& path, std::uint64_t maxBytes,
                                   const StopFlag* stop = nullptr, FileFault* fault = nullptr);

// The size of the chunks the readers read at once.
inline constexpr std::size_t ReadChunkBytes = std::size_t{1} << 20;

}  // namespace tw
