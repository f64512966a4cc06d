// A whole generation run as a function of the document: the block that
// "Generate && add to file (F5)" appends or "Generate to Clipboard" copies,
// the start time the document takes afterwards, and the messages the user
// sees when a run cannot go ahead. The window and the command line both run
// through here.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "document/DocumentTexts.h"
#include "document/Outcome.h"
#include "generation/FileBlock.h"
#include "generation/Generation.h"
#include "generation/ScriptFile.h"

namespace tw {

// What F5 says when no file is active.
inline constexpr std::string_view NoFileToAppendMessage = "Please select file from menu on left hand side.";

struct DocumentRun {
    GeneratedBlock block;  // for a file in its code page, for the clipboard in UTF-8
    // The start time after the run: the finish time's text for a file (the
    // next block continues where this one ends), the start time unchanged for
    // the clipboard.
    std::string nextStartTime;
};

// The block of `document` for `destination`, with BlockFor's checks and
// messages, and the start time that follows.
Outcome<DocumentRun> RunDocument(BlockDestination destination, const DocumentTexts& document,
                                 const ProgressFn& progress = {}, std::string reuse = {});

// The message shown when a finished block could not be written: the file
// write's own reason, framed the same for every run.
std::string NotAddedMessage(std::string_view reason);

// The message of a failed add: a busy file's message as it is; otherwise
// NotAddedMessage, which says the file was left as it was only when it was.
std::string NotAddedMessage(const FileChange& failure);

// F5 without the window: fails with NoFileToAppendMessage when the document's
// active file is empty; otherwise runs the document for a file and appends
// the block to the active file as one quoted record, whole or not at all
// (AppendQuotedRecord, waiting up to `wait` for another writer's lock). A
// failed write fails with NotAddedMessage.
Outcome<DocumentRun> AppendRun(const DocumentTexts& document, const ProgressFn& progress = {},
                               std::string reuse = {}, std::chrono::milliseconds wait = WindowLockWait);

}  // namespace tw
