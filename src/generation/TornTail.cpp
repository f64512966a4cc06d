#include "generation/TornTail.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "generation/FileMessages.h"

namespace tw {
namespace {

// The bytes read backwards at once.
constexpr std::uint64_t ChunkBytes = std::uint64_t{1} << 20;

// How a line that begins with a quotation mark goes on.
enum class QuoteLine {
    Closing,  // a lone quote with its line end
    Bare,     // a lone quote that ends the file
    Opening,  // anything else: a header
};

QuoteLine Kind(std::optional<char> next) {
    if (!next) return QuoteLine::Bare;
    return *next == '\r' || *next == '\n' ? QuoteLine::Closing : QuoteLine::Opening;
}

// The search over any source of bytes: `previous(before)` gives the offset of
// the last line that begins with a quote and starts before `before` (nothing
// when there is none, or none within reach); `after(q)` the byte after q, if
// the file has one; `closedAfter(q)` whether a quote after q ends a line.
template <class Previous, class After, class ClosedAfter>
Outcome<std::optional<std::uint64_t>> Search(std::uint64_t length, const Previous& previous,
                                             const After& after, const ClosedAfter& closedAfter) {
    using Result = Outcome<std::optional<std::uint64_t>>;
    const auto none = Result::Success(std::nullopt);
    const Outcome<std::optional<std::uint64_t>> last = previous(length);
    if (!last || !last.value()) return last;
    const std::uint64_t q = *last.value();
    const Outcome<std::optional<char>> next = after(q);
    if (!next) return Result::Failure(next.error());
    switch (Kind(next.value())) {
    case QuoteLine::Closing: return none;
    case QuoteLine::Opening: {
        // A record that a quote at the end of its first or a later line
        // closes (a one-line record, or one closed by hand) is whole.
        const Outcome<bool> closed = closedAfter(q);
        if (!closed) return Result::Failure(closed.error());
        return closed.value() ? none : Result::Success(q);
    }
    case QuoteLine::Bare: break;
    }
    // A closing quote without its line end, or an opening quote alone.
    const Outcome<std::optional<std::uint64_t>> before = previous(q);
    if (!before) return before;
    if (!before.value()) return Result::Success(q);
    const Outcome<std::optional<char>> following = after(*before.value());
    if (!following) return Result::Failure(following.error());
    return Result::Success(Kind(following.value()) == QuoteLine::Opening ? *before.value() : q);
}

bool StartsLine(std::string_view bytes, std::size_t i) {
    return i == 0 || bytes[i - 1] == '\n' || bytes[i - 1] == '\r';
}

// Reads exactly `count` bytes at `offset`: 0 or the error number (EIO when
// the file ends first: it was cut while it was read).
int ReadAt(int fd, char* out, std::size_t count, std::uint64_t offset) {
    while (count > 0) {
        const ssize_t got = ::pread(fd, out, count, static_cast<off_t>(offset));
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) return EIO;
        out += got;
        count -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return 0;
}

}  // namespace

std::optional<std::size_t> TornTailStart(std::string_view bytes) {
    const auto previous = [&](std::uint64_t before) {
        std::optional<std::uint64_t> found;
        for (std::size_t i = static_cast<std::size_t>(before); i-- > 0;) {
            if (bytes[i] == '"' && StartsLine(bytes, i)) {
                found = i;
                break;
            }
        }
        return Outcome<std::optional<std::uint64_t>>::Success(found);
    };
    const auto after = [&](std::uint64_t q) {
        return Outcome<std::optional<char>>::Success(q + 1 < bytes.size() ? std::optional<char>(bytes[q + 1])
                                                                          : std::nullopt);
    };
    const auto closedAfter = [&](std::uint64_t q) {
        for (std::size_t p = bytes.find('"', static_cast<std::size_t>(q) + 1); p != std::string_view::npos;
             p = bytes.find('"', p + 1)) {
            if (p + 1 == bytes.size() || bytes[p + 1] == '\r' || bytes[p + 1] == '\n')
                return Outcome<bool>::Success(true);
        }
        return Outcome<bool>::Success(false);
    };
    const auto start = Search(bytes.size(), previous, after, closedAfter);
    if (!start.value()) return std::nullopt;
    return static_cast<std::size_t>(*start.value());
}

Outcome<std::optional<TornTail>> FindTornTail(int fd, std::uint64_t length) {
    using Found = Outcome<std::optional<std::uint64_t>>;
    const auto failed = [](int error) { return Found::Failure(file_messages::Reason(error)); };
    const std::uint64_t reach = length > MaxTornTailBytes ? length - MaxTornTailBytes : 0;
    std::vector<char> chunk;
    // Chunk by chunk towards the start, each with the byte before it, which
    // tells whether a quote at the chunk's start begins a line.
    const auto previous = [&](std::uint64_t before) -> Found {
        while (before > reach) {
            const std::uint64_t from = std::max(reach, before > ChunkBytes ? before - ChunkBytes : 0);
            const std::uint64_t first = from > 0 ? from - 1 : 0;
            chunk.resize(static_cast<std::size_t>(before - first));
            if (const int error = ReadAt(fd, chunk.data(), chunk.size(), first); error != 0)
                return failed(error);
            const std::string_view bytes(chunk.data(), chunk.size());
            const std::size_t skip = static_cast<std::size_t>(from - first);
            for (std::size_t end = bytes.size(); end > skip;) {
                const void* at = ::memrchr(bytes.data() + skip, '"', end - skip);
                if (!at) break;
                const auto i = static_cast<std::size_t>(static_cast<const char*>(at) - bytes.data());
                if (first + i == 0 || StartsLine(bytes, i)) return Found::Success(first + i);
                end = i;
            }
            before = from;
        }
        return Found::Success(std::nullopt);
    };
    const auto after = [&](std::uint64_t q) -> Outcome<std::optional<char>> {
        if (q + 1 >= length) return Outcome<std::optional<char>>::Success(std::nullopt);
        char next = 0;
        if (const int error = ReadAt(fd, &next, 1, q + 1); error != 0)
            return Outcome<std::optional<char>>::Failure(file_messages::Reason(error));
        return Outcome<std::optional<char>>::Success(next);
    };
    // Forward from q, a chunk at a time (with the byte after it), for a
    // quote that ends a line.
    const auto closedAfter = [&](std::uint64_t q) -> Outcome<bool> {
        for (std::uint64_t from = q + 1; from < length; from += ChunkBytes) {
            const std::uint64_t count = std::min(length - from, ChunkBytes + 1);
            chunk.resize(static_cast<std::size_t>(count));
            if (const int error = ReadAt(fd, chunk.data(), chunk.size(), from); error != 0)
                return Outcome<bool>::Failure(file_messages::Reason(error));
            const std::size_t own = static_cast<std::size_t>(std::min(count, ChunkBytes));
            for (const char* at = chunk.data();
                 (at = static_cast<const char*>(
                      std::memchr(at, '"', own - static_cast<std::size_t>(at - chunk.data()))));
                 ++at) {
                const auto i = static_cast<std::size_t>(at - chunk.data());
                if (from + i + 1 == length || chunk[i + 1] == '\r' || chunk[i + 1] == '\n')
                    return Outcome<bool>::Success(true);
            }
        }
        return Outcome<bool>::Success(false);
    };
    const Found start = Search(length, previous, after, closedAfter);
    if (!start) return Outcome<std::optional<TornTail>>::Failure(start.error());
    if (!start.value()) return Outcome<std::optional<TornTail>>::Success(std::nullopt);
    return Outcome<std::optional<TornTail>>::Success(TornTail{*start.value(), length - *start.value()});
}

std::string GroupedDigits(std::uint64_t count) {
    std::string digits = std::to_string(count);
    for (std::size_t at = digits.size(); at > 3;) {
        at -= 3;
        digits.insert(at, ",");
    }
    return digits;
}

std::string MendQuestion(std::uint64_t tornBytes) {
    return "Cut off the " + GroupedDigits(tornBytes) + " bytes of the unfinished last animation?";
}

std::string TornTailMessage(std::string_view path, std::uint64_t tornBytes) {
    return file_messages::Named(path) + " ends in an unfinished animation: its last " +
           GroupedDigits(tornBytes) +
           " bytes are a record that was never closed, as a write cut off part-way leaves it. "
           "\"tweenwright repair\" on the file cuts them off and keeps them.";
}

}  // namespace tw
