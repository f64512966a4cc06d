#include "document/ChooserRules.h"

#include "document/ViewCommands.h"

namespace tw {

namespace {

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// Pictures are recognised by a case-sensitive substring anywhere in the name,
// so "x.jpg.bak" passes and "PHOTO.JPG" does not.
bool NamesPicture(std::string_view name) { return Contains(name, ".jpeg") || Contains(name, ".jpg"); }

ChooserResult Refusal(const char* message) {
    ChooserResult result;
    result.kind = ChooserResult::Kind::Refuse;
    result.message = message;
    return result;
}

ChooserResult Command(std::string (*command)(std::string_view), std::string_view folder, std::string_view name) {
    ChooserResult result;
    result.kind = ChooserResult::Kind::SendCommand;
    result.command = command(JoinPath(folder, name));
    return result;
}

ChooserResult ActiveFile(std::string_view folder, const std::string& fileName) {
    ChooserResult result;
    result.kind = ChooserResult::Kind::SetActiveFile;
    result.activeFile = JoinPath(folder, fileName);
    result.fileHeader = HeaderNaming(fileName);
    return result;
}

}  // namespace

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (path.empty() || path.back() != '/') path += '/';
    return path += name;
}

ChooserResult ConfirmChoice(std::optional<ChooserMode> mode, std::string_view folder,
                            std::string_view selectedName, std::string_view typedName) {
    if (mode == ChooserMode::HapFile) {
        // A typed name wins over the selection and always gets ".hap".
        if (!typedName.empty()) return ActiveFile(folder, std::string(typedName) + ".hap");
        if (selectedName.empty()) return Refusal("Please select a file.");
        return ActiveFile(folder, std::string(selectedName));
    }
    if (mode == ChooserMode::Character) {
        if (!Contains(selectedName, ".htr")) return Refusal("please select a character");
        return Command(LoadCommand, folder, selectedName);
    }
    if (mode == ChooserMode::Skin) {
        if (!NamesPicture(selectedName)) return Refusal("please select a skin file (*.jpg or *.jpeg)");
        return Command(LoadCommand, folder, selectedName);
    }
    if (mode == ChooserMode::Background) {
        if (!NamesPicture(selectedName))
            return Refusal("please select a background file (*.jpg or *.jpeg)");
        return Command(LoadBackgroundCommand, folder, selectedName);
    }
    return {};
}

}  // namespace tw
