// The command strings the character view understands, taken apart.
#pragma once

#include <string>
#include <string_view>

namespace tw {

enum class ViewCommandKind { Load, LoadBackground, Reset, Unknown };

// What a loaded file is, by its name's ending (any letter case).
enum class LoadedKind { Script, Character, Picture };

struct ViewCommand {
    ViewCommandKind kind = ViewCommandKind::Unknown;
    std::string path;  // for the two load commands
};

// "\load [file= [PATH]]", "\loadBG [file= [PATH]]" and "\Reset", exactly so;
// PATH runs to the closing "]]" at the end and may hold brackets itself.
// Anything else, an empty path included, is Unknown.
ViewCommand ParseViewCommand(std::string_view command);

// ".htr" is a character, ".jpg" and ".jpeg" a picture, anything else a script.
LoadedKind KindOfFile(std::string_view path);

// The last component of a path, for the view's corner.
std::string_view FileNameOf(std::string_view path);

}  // namespace tw
