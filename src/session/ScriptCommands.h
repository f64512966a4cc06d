// The commands the command line runs, each one call over the core: a block
// generated onto the document's file or as clipboard text, and a file's last
// block read back into a document with the messages a load shows.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "document/DocumentTexts.h"
#include "document/Outcome.h"
#include "generation/GenerationRun.h"

namespace tw {

// What generate says when a stop was asked for before its record was written.
inline constexpr std::string_view StoppedBeforeWriteMessage =
    "Stopped before the animation was written; the file was left as it was.";

// "Generate & add to file" on the document's active file, waiting up to
// `wait` for another writer's lock. When `stopAsked` says so once the block
// is made, nothing is written: fails with StoppedBeforeWriteMessage.
Outcome<DocumentRun> GenerateOntoFile(const DocumentTexts& document, std::chrono::milliseconds wait,
                                      const std::function<bool()>& stopAsked = {});
// "Generate to Clipboard": the block as the clipboard would receive it.
Outcome<DocumentRun> GenerateAsText(const DocumentTexts& document);

struct LoadedDocument {
    DocumentTexts document;             // as the load leaves the form
    std::vector<std::string> messages;  // what the load says, in order
};

// "Load last animation from file" with `file` as the document's active file.
Outcome<LoadedDocument> LoadLastInto(const std::string& file, DocumentTexts document);

}  // namespace tw
