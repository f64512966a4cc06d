// What every fuzz target needs to state its checks: a failed check aborts, so
// libFuzzer (and the replay of the seeds under CTest) reports the input.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzzcheck {

inline void Check(bool condition) {
    if (!condition) std::abort();
}

// A file of this process's own for the inputs that go through the file
// system: in memory where there is such a folder, removed at exit.
inline const std::string& ScratchFile() {
    static const std::string path = [] {
        std::string pattern = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        pattern += "/tw-fuzz-XXXXXX";
        const int fd = ::mkstemp(pattern.data());
        Check(fd >= 0);
        ::close(fd);
        return pattern;
    }();
    static const bool removedAtExit = std::atexit([] { ::unlink(path.c_str()); }) == 0;
    (void)removedAtExit;
    return path;
}

// Writes `bytes` to `path`, opened with `flags` besides for writing.
inline void WriteAll(const std::string& path, std::string_view bytes, int flags) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | flags, 0600);
    Check(fd >= 0);
    Check(::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

// A number in the script's "###0.000" form: an optional minus, at least one
// digit, a period and exactly three digits.
inline bool IsScriptNumber(std::string_view text) {
    const std::size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
    const std::size_t point = text.find('.');
    if (point == std::string_view::npos || point == i || text.size() - point != 4) return false;
    for (std::size_t k = i; k < text.size(); ++k)
        if (k != point && (text[k] < '0' || text[k] > '9')) return false;
    return true;
}

}  // namespace fuzzcheck
