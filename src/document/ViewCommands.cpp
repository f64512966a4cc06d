#include "document/ViewCommands.h"

#include <algorithm>

#include "document/AsciiCase.h"

namespace tw {
namespace {

// The PATH of "<prefix>PATH]]", or nothing.
bool PathAfter(std::string_view command, std::string_view prefix, std::string& path) {
    constexpr std::string_view close = CommandPathClose;
    if (command.size() < prefix.size() + close.size() + 1) return false;
    if (command.substr(0, prefix.size()) != prefix) return false;
    if (command.substr(command.size() - close.size()) != close) return false;
    path = std::string(command.substr(prefix.size(), command.size() - prefix.size() - close.size()));
    return true;
}

}  // namespace

ViewCommand ParseViewCommand(std::string_view command) {
    ViewCommand result;
    if (command == ResetCommand)
        result.kind = ViewCommandKind::Reset;
    else if (PathAfter(command, LoadCommandPrefix, result.path))
        result.kind = ViewCommandKind::Load;
    else if (PathAfter(command, LoadBackgroundCommandPrefix, result.path))
        result.kind = ViewCommandKind::LoadBackground;
    else
        result.path.clear();
    return result;
}

LoadedKind KindOfFile(std::string_view path) {
    if (EndsWithNoCase(path, ".htr")) return LoadedKind::Character;
    if (EndsWithNoCase(path, ".jpg") || EndsWithNoCase(path, ".jpeg")) return LoadedKind::Picture;
    return LoadedKind::Script;
}

std::string_view FileNameOf(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace tw
