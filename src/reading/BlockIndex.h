// The blocks of a script file, found in one forward pass: every quoted record's
// byte span, header, sub header, first and last clock time, frames and the
// registers that move. Any bytes give an index in time linear in their number;
// bytes that are no record belong to no block.
//
// Lines end at LF, CR LF or a lone CR (hand-edited files hold all three). A
// block opens with a line that begins with a quote and holds only printable
// bytes after it (the header), wherever no block is open; it closes with the
// next line that is a lone quote, which it includes with its line end. After
// the header come an empty line and, for a sub header, the credit line and the
// sub header's lines up to the first register line (a sub header of no line,
// or of one empty line, takes that register line too, as the record reader
// does). Every register line of the block counts for its times and frames,
// wherever it stands; other lines in it are kept and count for nothing. A
// block the bytes end inside is listed as cut off.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "document/Outcome.h"
#include "reading/FileBytes.h"

namespace tw {

struct BlockEntry {
    std::uint64_t offset = 0;  // the opening quote
    std::uint64_t length = 0;  // to the closing line's end, or to the end of the bytes when cut off
    bool complete = false;     // false: the bytes end before its closing line
    std::string header;        // the header line without its quote, as the file's bytes
    bool hasSubHeader = false; // a credit line follows the empty line
    std::string subHeader;     // its lines as in the file, each line's own end between them
    std::string start;         // the first register line's time as written; empty for none
    std::string finish;        // the last register line's time as written
    std::uint64_t registerLines = 0;
    std::uint64_t frames = 0;  // runs of register lines with the same time text
    std::string framesPSec;    // (frames - 1) / (finish - start) as a number text; empty when not defined
    // The names (the file's bytes) of the registers with a line after the first
    // time, in the order they first appear.
    std::vector<std::string> registers;

    std::uint64_t end() const { return offset + length; }
    bool operator==(const BlockEntry&) const = default;
};

struct BlockIndex {
    std::vector<BlockEntry> blocks;
    std::uint64_t size = 0;  // the bytes indexed
    bool operator==(const BlockIndex&) const = default;
};

// Reads bytes in pieces, in order, and builds the index as it goes. Scan
// reads the whole lines of a piece and gives how many bytes it used: the rest
// (an unfinished line) must come again at the front of the next piece. With
// `atEnd` every byte is used.
class BlockScanner {
public:
    // A scanner that starts at `offset` of the file, with no block open.
    explicit BlockScanner(std::uint64_t offset = 0);
    BlockScanner(BlockScanner&&) noexcept;
    BlockScanner& operator=(BlockScanner&&) noexcept;
    ~BlockScanner();

    std::size_t Scan(std::string_view piece, bool atEnd);
    // The index of everything scanned; the scanner is spent.
    BlockIndex Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The index of bytes held in memory.
BlockIndex IndexBlocks(std::string_view bytes);

// How an index of a file goes: `progress` gets the share 0..99 read so far,
// `stop` stops it between pieces.
struct IndexControl {
    std::function<void(int)> progress;
    const StopFlag* stop = nullptr;
};

// The index of the regular file at `path`, read by pieces (never mapped, never
// held whole). Fails with a message naming the file when it cannot be read,
// shrinks while it is read, or when stopped.
Outcome<BlockIndex> IndexFile(const std::filesystem::path& path, const IndexControl& control = {});

// The index of the file after bytes were appended to it since `earlier` was
// made: only what follows the last complete block of `earlier` is read again,
// when the file is no shorter and the closing line there is still in place;
// otherwise the whole file.
Outcome<BlockIndex> IndexAfterAppend(const std::filesystem::path& path, const BlockIndex& earlier,
                                     const IndexControl& control = {});

}  // namespace tw
