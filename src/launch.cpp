// Tweenwright's command: runs the subcommands that need neither Qt nor FFmpeg
// itself, and hands everything else (the window, render, --help, --version)
// to the full program. The full program links Qt, Qt Multimedia and FFmpeg,
// over 150 shared libraries whose loading costs tens of milliseconds; a
// pipeline that generates a hundred blocks would pay that a hundred times.
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "cli/CommandLine.h"

namespace {

// The full program: beside this one in the build tree, in the program's own
// library folder once installed.
std::string FullProgram() {
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string folder = length > 0 ? std::string(self, static_cast<std::size_t>(length)) : std::string();
    folder.erase(folder.find_last_of('/') + 1);
    const std::string beside = folder + "tweenwright-gui";
    if (access(beside.c_str(), X_OK) == 0) return beside;
    return folder + TW_FULL_PROGRAM_FROM_BIN "/tweenwright-gui";
}

}  // namespace

int main(int argc, char* argv[]) {
    const tw::CommandLine command = tw::RunCommandLineWith(argc, argv, std::cout, std::cerr, {});
    if (command.exitStatus) return *command.exitStatus;
    std::cout.flush();
    const std::string program = FullProgram();
    execv(program.c_str(), argv);
    std::fprintf(stderr, "tweenwright: %s could not be started: %s\n", program.c_str(), std::strerror(errno));
    return tw::ExitFailure;
}
