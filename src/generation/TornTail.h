// An unfinished last record at the end of a script file: the bytes an append
// left when it was killed part-way (a clean prefix of its record, without the
// closing quote line). Every writer looks for one under the writers' lock and
// refuses to add after it; the mend cuts it off.
//
// The record a file ends in begins at its last line that begins with a
// quotation mark (no sub header line may begin with one). The file is whole
// when that line is a lone quote with its line end, or when it or a later
// line ends in a quote (a one-line record, or one closed by hand at a line's
// end); otherwise the record from that line on is unfinished. A file that ends in a lone quote without its
// line end ends inside a record too: the record the quote closes, when the
// line before it that begins with a quote is a header, else the quote alone
// (an add killed after its opening quote). A file with no line that begins
// with a quotation mark has nothing unfinished in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "document/Outcome.h"

namespace tw {

// Where the unfinished record at the end of a whole file's `bytes` begins;
// nothing when the file is whole.
std::optional<std::size_t> TornTailStart(std::string_view bytes);

// How far back from the end a file is read for its unfinished record: the
// loader's cap on a last record. Beyond it the file is taken as whole.
inline constexpr std::uint64_t MaxTornTailBytes = (std::uint64_t{1} << 30) + (std::uint64_t{1} << 20);

// The unfinished record at the end of the file open as `fd`, `length` bytes
// long, as TornTailStart finds it, read backwards in chunks of a fixed size
// and never further back than MaxTornTailBytes; nothing for a whole file. A
// failed read fails with its error number's reason.
struct TornTail {
    std::uint64_t start = 0;
    std::uint64_t length = 0;  // to the end of the file
};
Outcome<std::optional<TornTail>> FindTornTail(int fd, std::uint64_t length);

// `count` with a comma between each group of three digits: 12,345,678.
std::string GroupedDigits(std::uint64_t count);

// The question the window asks before it cuts an unfinished last record off:
// "Cut off the 12,345,678 bytes of the unfinished last animation?"
std::string MendQuestion(std::uint64_t tornBytes);

// What a writer says when it finds the file at `path` (as the message names
// it) ending in an unfinished record of `tornBytes` bytes; nothing was written.
std::string TornTailMessage(std::string_view path, std::uint64_t tornBytes);

}  // namespace tw
