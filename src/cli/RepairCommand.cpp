#include "cli/RepairCommand.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <cmath>
#include <cstdint>

#include "cli/CommandLine.h"
#include "document/FixedPaths.h"
#include "document/PathText.h"
#include "session/TailMend.h"

namespace tw {

RepairCommand::RepairCommand(CLI::App& app) {
    repair_ = app.add_subcommand(
        "repair", "Cut an unfinished last animation (a write cut off part-way) off FILE, keeping its bytes");
    repair_->add_option("FILE", file_, "Hap file to mend")->required();
    repair_
        ->add_option("--wait", waitSeconds_,
                     "Wait up to SECONDS for another program writing the file (default 10)")
        ->option_text("SECONDS")
        ->check(CLI::Range(0.0, 86400.0));
}

std::optional<int> RepairCommand::Run(std::ostream& out, std::ostream& err) const {
    if (!repair_->parsed()) return std::nullopt;
    const auto wait = std::chrono::milliseconds(std::llround(waitSeconds_ * 1000));
    const Outcome<std::optional<Mended>> mended = MendTornTail(
        file_, [] { return PreviewFolder(); }, wait);
    if (!mended) {
        err << mended.error() << '\n';
        return ExitFailure;
    }
    if (mended.value())
        out << MendReport(file_, *mended.value()) << '\n';
    else
        out << QuotedPath(file_) << " ends with a whole animation; nothing was cut off.\n";
    out.flush();
    if (!out) {
        err << "The output could not be written.\n";
        return ExitFailure;
    }
    return ExitSuccess;
}

}  // namespace tw
