// The program's command line. The subcommands `generate` and `load-last` do
// the window's work on a JSON document with no window and no display; any
// other argument names a file for the window to open.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

namespace CLI {
class App;
}

namespace tw {

// Exit statuses of the command line.
inline constexpr int ExitSuccess = 0;
inline constexpr int ExitFailure = 1;  // the work could not be done; nothing was written
inline constexpr int ExitUsage = 2;    // the command line itself is wrong

// Writes `message` as a line on `err`; the status to exit with.
inline int Fail(std::ostream& err, const std::string& message, int status = ExitFailure) {
    err << message << '\n';
    return status;
}

// Flushes `out`: success, or a failure when it could not be written.
inline int Done(std::ostream& out, std::ostream& err) {
    out.flush();
    return out ? ExitSuccess : Fail(err, "The output could not be written.");
}

struct CommandLine {
    // Set when the command line was dealt with here: the program ends with
    // this status and shows no window.
    std::optional<int> exitStatus;
    // Otherwise the window opens, on this file when one was named (as given).
    std::optional<std::string> file;
    // The speech track to set for that file (--speech), and its offset in
    // seconds (--speech-offset, default 0).
    std::optional<std::string> speech{};
    double speechOffset = 0;
};

// A subcommand added to the command line by the program that can run it.
class Subcommand {
public:
    virtual ~Subcommand() = default;
    // Runs the subcommand when it was the one parsed: its exit status.
    virtual std::optional<int> Run(std::ostream& out, std::ostream& err) const = 0;
};
using AddSubcommand = std::function<std::unique_ptr<Subcommand>(CLI::App&)>;

// Reads the arguments and runs a subcommand, writing its results to `out` and
// messages to `err`. Creates no Qt object, so it runs without a display.
CommandLine RunCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

// As RunCommandLine with `more` beside the subcommands that need neither Qt
// nor FFmpeg. Without `more`, only a command line whose first argument names
// one of those subcommands is run; any other gives no status, and is the full
// program's to run.
CommandLine RunCommandLineWith(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                               const AddSubcommand& more);

}  // namespace tw
