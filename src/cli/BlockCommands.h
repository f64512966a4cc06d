// The blocks of a script file on the command line: `blocks` lists them as
// JSON, `load-block` loads one into a document as "Load this block" does, and
// `replace-block`, `insert-block` and `remove-block` edit one in place, with
// the later blocks rippled, exactly as the window's edits do.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "document/DocumentTexts.h"
#include "document/Outcome.h"
#include "reading/BlockIndex.h"

namespace CLI {
class App;
}

namespace tw {

// The index as the `blocks` command prints it: one object per block, in file
// order, with its number, byte span, times as written, frames, frame rate,
// the registers that move and the sub header (texts in UTF-8).
std::string BlocksJson(const BlockIndex& index);

class BlockCommands {
public:
    using ReadDocument = std::function<Outcome<DocumentTexts>(const std::string& path)>;

    // Adds the subcommands to `app`; documents are read with `read`.
    BlockCommands(CLI::App& app, ReadDocument read);

    // Runs the subcommand that was parsed, if it is one of these: its exit
    // status.
    std::optional<int> Run(std::ostream& out, std::ostream& err) const;

private:
    int Blocks(std::ostream& out, std::ostream& err) const;
    int Load(std::ostream& out, std::ostream& err) const;
    int Edit(CLI::App* command, std::ostream& out, std::ostream& err) const;

    ReadDocument read_;
    CLI::App *blocks_, *load_, *replace_, *insert_, *remove_;
    std::string file_, document_;
    long number_ = 0;
};

}  // namespace tw
