// Writing blocks into script files. A script file is a sequence of quoted
// records ('"' + block + '"' + CR LF); each generation run adds one.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tw {

// The outcome of a file operation: success, or the reason it failed as a text
// for the user (naming the file and the system's reason).
class FileResult {
public:
    static FileResult Success() { return FileResult{}; }
    static FileResult Failure(std::string message) {
        FileResult result;
        result.message_ = std::move(message);
        result.failed_ = true;
        return result;
    }
    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const std::string& error() const { return message_; }

private:
    std::string message_;
    bool failed_ = false;
};

// Appends the quoted record of `block` to the file at `path`, creating the file
// when it does not exist. The record goes out in one gathered write (looping on
// partial writes and interruptions), so the block is never copied. On any
// failure the file keeps exactly the bytes it had: it is cut back to its old
// length, or removed when this call created it.
FileResult AppendQuotedRecord(const std::filesystem::path& path, std::string_view block);

// Replaces the file at `path` with one quoted record of `block`: the record is
// written to a new file in the same folder, which then takes the old one's
// place. On failure the old file is untouched and the new one removed. An
// existing file's permission bits are kept.
FileResult ReplaceWithQuotedRecord(const std::filesystem::path& path, std::string_view block);

}  // namespace tw
