// Runs the command line in this process, as `tweenwright ARGS…` would, and
// keeps what it printed and the status it would exit with.
#pragma once

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"

struct Ran {
    int status = -1;  // -1: the window would open
    std::string out, err;
    std::optional<std::string> file;
};

inline Ran Tw(std::vector<std::string> args) {
    args.insert(args.begin(), "tweenwright");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    std::ostringstream out, err;
    const tw::CommandLine command = tw::RunCommandLine(static_cast<int>(argv.size()), argv.data(), out, err);
    return {command.exitStatus.value_or(-1), out.str(), err.str(), command.file};
}
