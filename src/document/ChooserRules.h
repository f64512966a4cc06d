// What confirming a choice in the file chooser does: from the chooser's mode,
// the file list's folder, the selected name and the typed new name, either the
// texts of the active file and its header, a command for the character view,
// a message refusing the choice, or nothing. The chooser never touches a file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "document/FileHeader.h"

namespace tw {

// The chooser's modes, one per file button of the main window.
enum class ChooserMode { HapFile = 1, Character = 2, Skin = 3, Background = 4 };

struct ChooserResult {
    enum class Kind {
        SetActiveFile,  // activeFile and fileHeader are the new texts
        SendCommand,    // command goes to the character view
        Refuse,         // message is shown; the chooser stays open, nothing changes
        Nothing,        // a mode that names no choice: the chooser just closes
    };
    Kind kind = Kind::Nothing;
    std::string activeFile;
    std::string fileHeader;
    std::string command;
    std::string message;
};

// Folder and name joined with '/'; a folder that already ends in '/' (the
// root) gets no second one.
std::string JoinPath(std::string_view folder, std::string_view name);

// `mode` is none until a file button has been pressed; none, or a value that
// names no mode, confirms nothing. An empty `typedName` counts as not typed,
// blanks are a name.
ChooserResult ConfirmChoice(std::optional<ChooserMode> mode, std::string_view folder,
                            std::string_view selectedName, std::string_view typedName);

}  // namespace tw
