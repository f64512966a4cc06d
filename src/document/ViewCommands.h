// The command texts the character view understands, written and read in one
// place: "\load [file= [PATH]]", "\loadBG [file= [PATH]]" and "\Reset".
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

}  // namespace tw
