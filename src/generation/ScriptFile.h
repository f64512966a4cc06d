// Writing blocks into script files. A script file is a sequence of quoted
// records ('"' + block + '"' + CR LF); each generation run adds one.
#pragma once

#include <sys/types.h>
#include <sys/uio.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "document/Outcome.h"

namespace tw {

// The outcome of a change to a script file: success, or a message for the
// user and how the failure left the file.
class [[nodiscard]] FileChange {
public:
    enum class Left {
        AsItWas,  // not a byte changed (or, for a file this call made, none left)
        Busy,     // another writer held the file's lock all the while; nothing written
        Changed,  // the file may differ from before; the message says how
    };
    static FileChange Success() { return FileChange{}; }
    static FileChange Failure(std::string message, Left left = Left::AsItWas) {
        FileChange change;
        change.message_ = std::move(message);
        change.failed_ = true;
        change.left_ = left;
        return change;
    }
    // A change that fails only with a message, and so leaves the file as it was.
    static FileChange From(const Outcome<void>& outcome) {
        return outcome ? Success() : Failure(outcome.error());
    }
    // A refusal because the file ends in an unfinished record of `bytes`
    // bytes (TornTail.h); the file was left as it was.
    static FileChange Torn(std::string message, std::uint64_t bytes) {
        FileChange change = Failure(std::move(message));
        change.tornBytes_ = bytes;
        return change;
    }
    bool ok() const { return !failed_; }
    // The unfinished record's length for a Torn refusal, else 0.
    std::uint64_t tornBytes() const { return tornBytes_; }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return message_; }
    Left left() const { return left_; }
    // For callers that need only the message.
    operator Outcome<void>() const {
        return ok() ? Outcome<void>::Success() : Outcome<void>::Failure(message_);
    }

private:
    FileChange() = default;
    std::string message_;
    bool failed_ = false;
    Left left_ = Left::AsItWas;
    std::uint64_t tornBytes_ = 0;
};

// Every writer of a script file (an add, a redo, an undo's cut, a mend) takes
// an exclusive advisory lock (flock) on it for the whole of its check, write
// or cut and sync, so two writers never interleave and a failed write can cut
// back exactly its own bytes. Readers take no lock: under the lock no writer
// leaves a partial record behind. How long a writer waits for another's lock:
inline constexpr std::chrono::milliseconds WindowLockWait{2000};

// What an add says when another writer held the lock for all of its wait.
inline constexpr std::string_view BusyAddMessage =
    "The file is being written by another program; nothing was added.";

// A script file open for reading and writing under the writers' lock.
class LockedScriptFile {
public:
    enum class Open { CreateWhenMissing, OnlyWhenThere };
    // Opens the file at `path` (following a symbolic link) and waits up to
    // `wait` for the lock. Refuses, without waiting, a path that names
    // something other than a regular file. Fails with `busy` as its message
    // (Left::Busy) when the lock stays taken; with a message naming the file,
    // `purpose` and the reason otherwise. Once locked, the path is checked to still
    // name the file locked (a writer that removed or replaced it meanwhile
    // sends it back to open the file there now).
    static Outcome<LockedScriptFile> Take(const std::filesystem::path& path, Open open,
                                          std::chrono::milliseconds wait, std::string_view busy,
                                          FileChange::Left* left = nullptr,
                                          std::string_view purpose = "to add the script");
    LockedScriptFile(LockedScriptFile&& other) noexcept;
    LockedScriptFile& operator=(LockedScriptFile&&) = delete;
    ~LockedScriptFile();  // closes the file, which gives up the lock

    int fd() const { return fd_; }
    // The file's length when the lock was taken: no writer changes it while
    // this holds the lock.
    std::uint64_t length() const { return length_; }
    bool created() const { return created_; }
    // Closes the file; the error number of the close, or 0.
    int Close();

private:
    LockedScriptFile(int fd, std::uint64_t length, bool created)
        : fd_(fd), length_(length), created_(created) {}
    int fd_ = -1;
    std::uint64_t length_ = 0;
    bool created_ = false;
};

// The gathered write every record goes out through (writev). Tests put one in
// its place that fails part-way, to see what a failed write leaves.
using GatheredWrite = std::function<ssize_t(int fd, const iovec* pieces, int count)>;
GatheredWrite& RecordWrite();

// Writes `pieces` (their bases and lengths are used up) to fd through `write`,
// continuing after partial writes and interruptions. A write of more than
// 8 MiB goes out 8 MiB at a time, each piece's way to the disk started at once
// (sync_file_range), so that the fdatasync the caller does after it waits for
// less. Returns 0, or the error number.
int WriteOut(int fd, iovec* pieces, int count, const GatheredWrite& write);

// Every operation here fails with a message naming the file and the system's
// reason. Both refuse, without waiting and without writing, a path that names
// something other than a regular file (a pipe, a device, a socket, a folder).
// Both hold SIGTERM, SIGINT and SIGHUP while they write, so a stop request
// takes effect once the write is finished and never tears a record, and both
// report success only once the data is on the disk (fdatasync).

// Appends the quoted record of `block` to the file at `path`, creating the file
// when it does not exist, under the writers' lock (waiting up to `wait`, then
// BusyAddMessage). A file that ends in an unfinished record (FindTornTail) is
// not written: FileChange::Torn with TornTailMessage. The record goes out in one gathered write (looping on
// partial writes and interruptions), so the block is never copied. On any
// failure the file is cut back to its length when the lock was taken, so only
// this call's own bytes go, or removed when this call created it and nothing
// else was written to it.
FileChange AppendQuotedRecord(const std::filesystem::path& path, std::string_view block,
                              std::chrono::milliseconds wait = WindowLockWait);

// Looks at a file about to be added to: its descriptor (open for reading and
// writing, under the lock) and its length. Gives the reason the record must
// not be added, or nothing.
using AppendPrecondition = std::function<std::optional<std::string>(int fd, std::uint64_t length)>;

// As AppendQuotedRecord, onto a file that is there (a missing file is never
// created) and only when `precondition` finds nothing against it under the
// lock; its reason is then the message, and the file is not written. `busy`
// is the message when the lock stays taken.
FileChange AppendQuotedRecordOnto(const std::filesystem::path& path, std::string_view block,
                                  const AppendPrecondition& precondition, std::string_view busy,
                                  std::chrono::milliseconds wait = WindowLockWait);

// Replaces the file at `path` with one quoted record of `block`: the record is
// written to a new file in the same folder, which then takes the old one's
// place. On failure the old file is untouched and the new one removed. An
// existing file's permission bits are kept.
Outcome<void> ReplaceWithQuotedRecord(const std::filesystem::path& path, std::string_view block);

}  // namespace tw
