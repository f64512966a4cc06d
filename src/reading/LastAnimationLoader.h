// Reading the last block of a script file back into the register table: the
// block's first frame gives the initial values, every later line the final
// values, and its clock times the start time, duration and frame rate. The
// block is found by a handful of byte searches, not by parsing the script.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/DocumentTexts.h"
#include "document/Outcome.h"
#include "document/Progress.h"
#include "document/RegisterCatalogue.h"

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
    // One message per first-frame line naming a register no name cell holds.
    std::vector<std::string> messages;

    bool operator==(const LoadedAnimation&) const = default;
};

// Loads the last block of `file` (the file's bytes, in the Windows-1252 code
// page) with `names` as the 105 name cells (UTF-8). Any bytes at all give a
// result, in time linear in their number.
LoadedAnimation LoadLastAnimation(std::string_view file, const std::array<std::string, RegisterCount>& names,
                                  const ProgressFn& progress = {});

// The load command's whole work on the file named by `activeFile`: fails with
// NoFileToLoadMessage when it is empty, or with ReadFileBytes' message naming
// the file; otherwise LoadLastAnimation over the file's bytes. `fileRead` is
// called once the bytes are in memory, before the load reports any progress
// (a window shows its progress bar from then on); never on a failure.
Outcome<LoadedAnimation> LoadLastAnimationFromFile(std::string_view activeFile,
                                                   const std::array<std::string, RegisterCount>& names,
                                                   const ProgressFn& progress = {},
                                                   const std::function<void()>& fileRead = {});

// Writes a load into the document: the loaded initial texts, every final text
// (the loaded one, else the initial text), start time, duration and frame rate
// when given, and the finish time that follows from them. Nothing else.
void ApplyLoadedAnimation(const LoadedAnimation& loaded, DocumentTexts& document);

// The error text for the file's one unknown-name line in the first frame.
std::string UnknownNameMessage(std::string_view nameUtf8);

}  // namespace tw
