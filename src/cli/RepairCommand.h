// `repair FILE` on the command line: cuts an unfinished last animation (an
// append killed part-way) off a script file, keeping its bytes in the
// program's private folder, and prints what it cut.
#pragma once

#include <optional>
#include <ostream>
#include <string>

namespace CLI {
class App;
}

namespace tw {

class RepairCommand {
public:
    // Adds the subcommand to `app`.
    explicit RepairCommand(CLI::App& app);

    // Runs it when it was parsed: its exit status.
    std::optional<int> Run(std::ostream& out, std::ostream& err) const;

private:
    CLI::App* repair_;
    std::string file_;
    double waitSeconds_ = 10;
};

}  // namespace tw
