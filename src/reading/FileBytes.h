// A file's bytes for the readers: mapped read-only, so a reader that looks at
// only part of a file (the last block of a long script) touches only that
// part, and nothing is copied.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string_view>

#include "document/Outcome.h"

namespace tw {

class FileBytes {
public:
    FileBytes() = default;
    FileBytes(FileBytes&& other) noexcept;
    FileBytes& operator=(FileBytes&& other) noexcept;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    ~FileBytes();

    std::string_view view() const { return {map_, size_}; }

private:
    friend Outcome<FileBytes> ReadFileBytes(const std::filesystem::path& path);
    void Release();

    const char* map_ = nullptr;
    std::size_t size_ = 0;
};

// The bytes of the regular file at `path`. Fails with a message naming the
// file when it does not exist, is a folder or anything else but a regular
// file (a pipe or a device is refused without waiting on it), or cannot be
// read. The file is closed before this returns.
Outcome<FileBytes> ReadFileBytes(const std::filesystem::path& path);

}  // namespace tw
