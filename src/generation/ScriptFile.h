// Writing blocks into script files. A script file is a sequence of quoted
// records ('"' + block + '"' + CR LF); each generation run adds one.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "document/Outcome.h"

namespace tw {

// Every operation here fails with a message naming the file and the system's
// reason. Both refuse, without waiting and without writing, a path that names
// something other than a regular file (a pipe, a device, a socket, a folder).
// Both hold SIGTERM, SIGINT and SIGHUP while they write, so a stop request
// takes effect once the write is finished and never tears a record, and both
// report success only once the data is on the disk (fdatasync).

// Appends the quoted record of `block` to the file at `path`, creating the file
// when it does not exist. The record goes out in one gathered write (looping on
// partial writes and interruptions), so the block is never copied. On any
// failure the file keeps exactly the bytes it had: it is cut back to its old
// length, or removed when this call created it.
Outcome<void> AppendQuotedRecord(const std::filesystem::path& path, std::string_view block);

// Looks at a file about to be added to: its descriptor (open for reading and
// appending) and its length. Gives the reason the record must not be added,
// or nothing.
using AppendPrecondition = std::function<std::optional<std::string>(int fd, std::uint64_t length)>;

// As AppendQuotedRecord, onto a file that is there (a missing file is never
// created) and only when `precondition` finds nothing against it; its reason
// is then the message, and the file is not written.
Outcome<void> AppendQuotedRecordOnto(const std::filesystem::path& path, std::string_view block,
                                     const AppendPrecondition& precondition);

// Replaces the file at `path` with one quoted record of `block`: the record is
// written to a new file in the same folder, which then takes the old one's
// place. On failure the old file is untouched and the new one removed. An
// existing file's permission bits are kept.
Outcome<void> ReplaceWithQuotedRecord(const std::filesystem::path& path, std::string_view block);

}  // namespace tw
