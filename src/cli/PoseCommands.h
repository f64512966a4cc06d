// The pose tools on the command line: `mirror` prints a document with a
// column mirrored; `pose save`, `pose list` and `pose apply` work the user's
// pose library.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "document/DocumentTexts.h"
#include "document/Outcome.h"

namespace CLI {
class App;
}

namespace tw {

class PoseCommands {
public:
    using ReadDocument = std::function<Outcome<DocumentTexts>(const std::string& path)>;

    // Adds the subcommands to `app`; documents are read with `read`.
    PoseCommands(CLI::App& app, ReadDocument read);

    // Runs the subcommand that was parsed, if it is one of these: its exit
    // status.
    std::optional<int> Run(std::ostream& out, std::ostream& err) const;

private:
    int Mirror(std::ostream& out, std::ostream& err) const;
    int Save(std::ostream& out, std::ostream& err) const;
    int List(std::ostream& out, std::ostream& err) const;
    int Apply(std::ostream& out, std::ostream& err) const;

    ReadDocument read_;
    CLI::App *mirror_, *save_, *list_, *apply_;
    std::string document_, name_, side_ = "both", poseSide_ = "initial";
    bool replace_ = false;
};

}  // namespace tw
