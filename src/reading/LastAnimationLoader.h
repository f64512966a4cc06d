// Reading the last block of a script file back into the register table: the
// block's first frame gives the initial values, every later line the final
// values, and its clock times the start time, duration and frame rate. The
// block is found by a handful of byte searches, not by parsing the script.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/DocumentTexts.h"
#include "document/Outcome.h"
#include "document/Progress.h"
#include "document/RegisterCatalogue.h"
#include "reading/FileBytes.h"

namespace tw {

// What the load command shows when no file has been chosen.
inline constexpr std::string_view NoFileToLoadMessage = "Please select a file using the menu on the left.";

// The texts a load writes. A field without a value keeps its text.
struct LoadedAnimation {
    // Registers with a line at the block's first clock time: the value text
    // exactly as written there.
    std::array<std::optional<std::string>, RegisterCount> initial;
    // Registers named by a later line: the last such value, as a number text.
    // The others take their (possibly new) initial text.
    std::array<std::optional<std::string>, RegisterCount> final;
    std::string startTime;
    // None when the duration is not a finite number.
    std::optional<std::string> dKeyframe;
    // None when the duration is 0 or not finite.
    std::optional<std::string> framesPSec;
    // First-frame lines naming a register no name cell holds: how many, and
    // the names of the first few (shortened for a message).
    std::size_t unknownNameCount = 0;
    std::vector<std::string> unknownNames;

    bool operator==(const LoadedAnimation&) const = default;
};

// Loads the last block of `file` (the file's bytes, in the Windows-1252 code
// page) with `names` as the 105 name cells (UTF-8). Any bytes at all give a
// result, in time linear in their number.
LoadedAnimation LoadLastAnimation(std::string_view file, const std::array<std::string, RegisterCount>& names,
                                  const ProgressFn& progress = {});

// How much of a file a load reads at most: the last block and the byte before
// it, held in memory while its lines are read. The generator writes no block
// above 1024 MB; the margin holds the quotes, header and credit lines around
// one. A file of many blocks is read from its end only, so its own size does
// not count.
inline constexpr std::uint64_t MaxLoadBytes = (std::uint64_t{1} << 30) + (std::uint64_t{1} << 20);

// How the file load goes besides the bar of the block's lines: `reading`
// gets the share 0..99 of the file read so far by the backward search (it
// reads chunks growing towards the file's start until the last header word
// is in them); `fileRead` is called once the block has been found, before the
// bar of its lines moves (never on a failure); `stop` stops the load between
// chunks and lines.
struct LoadControl {
    std::function<void(int)> reading;
    std::function<void()> fileRead;
    const StopFlag* stop = nullptr;
    std::uint64_t maxBytes = MaxLoadBytes;
    // The first chunk read from the end; each later one doubles what is held.
    std::size_t firstChunkBytes = std::size_t{64} << 10;
    // The window a long block is read through, a piece at a time, by the
    // backward search; the lines of each window are read as it comes in.
    std::size_t windowBytes = std::size_t{1} << 20;
    // The file taken as ending here (a block other than the last one loaded
    // as if it were the last); beyond the file's size, its size.
    std::uint64_t fileEnd = UINT64_MAX;
};

// The load command's whole work on the file named by `activeFile`: fails with
// NoFileToLoadMessage when it is empty, with OpenedFile's message naming the
// file, when the last block is larger than `control.maxBytes`, when the file
// becomes shorter while it is read, or when stopped; otherwise gives what
// LoadLastAnimation gives over the file's bytes, reading only its last block.
Outcome<LoadedAnimation> LoadLastAnimationFromFile(std::string_view activeFile,
                                                   const std::array<std::string, RegisterCount>& names,
                                                   const ProgressFn& progress = {},
                                                   const LoadControl& control = {});

// The same with only `fileRead` of the controls.
inline Outcome<LoadedAnimation> LoadLastAnimationFromFile(std::string_view activeFile,
                                                          const std::array<std::string, RegisterCount>& names,
                                                          const ProgressFn& progress,
                                                          std::function<void()> fileRead) {
    LoadControl control;
    control.fileRead = std::move(fileRead);
    return LoadLastAnimationFromFile(activeFile, names, progress, control);
}

// Counts a first-frame line whose name (the file's bytes) no cell holds.
void NoteUnknownName(LoadedAnimation& loaded, std::string_view nameBytes);

// How many unknown names a message lists.
inline constexpr std::size_t ListedUnknownNames = 5;

// The messages a load shows, in order: one for the unknown names (with one
// name, exactly UnknownNameMessage; with more, the first few and how many),
// and one when the block's duration or frame rate is not positive.
std::vector<std::string> LoadMessages(const LoadedAnimation& loaded);

// Whether the block's duration and frame rate are both positive numbers; only
// then does a load change the timing fields.
bool HasPositiveTiming(const LoadedAnimation& loaded);

// Writes a load into the document: the loaded initial texts, every final text
// (the loaded one, else the initial text), and, when the timing is positive,
// start time, duration, frame rate and the finish time that follows from
// them. Nothing else.
void ApplyLoadedAnimation(const LoadedAnimation& loaded, DocumentTexts& document);

// The error text for the file's one unknown-name line in the first frame.
std::string UnknownNameMessage(std::string_view nameUtf8);

}  // namespace tw
