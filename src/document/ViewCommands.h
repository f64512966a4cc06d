// The command texts the character view understands, written and read in one
// place: "\load [file= [PATH]]", "\loadBG [file= [PATH]]" and "\Reset", built
// here and taken apart here.
#pragma once

#include <string>
#include <string_view>

namespace tw {

inline constexpr std::string_view LoadCommandPrefix = "\\load [file= [";
inline constexpr std::string_view LoadBackgroundCommandPrefix = "\\loadBG [file= [";
inline constexpr std::string_view CommandPathClose = "]]";
inline constexpr std::string_view ResetCommand = "\\Reset";

// The view loads the file at `path`: a script plays, a character is shown, a
// picture becomes the skin.
inline std::string LoadCommand(std::string_view path) {
    return std::string(LoadCommandPrefix).append(path).append(CommandPathClose);
}

// The view shows the picture at `path` as its background.
inline std::string LoadBackgroundCommand(std::string_view path) {
    return std::string(LoadBackgroundCommandPrefix).append(path).append(CommandPathClose);
}

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
