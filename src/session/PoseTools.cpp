#include "session/PoseTools.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "document/FileHeader.h"
#include "document/FixedPaths.h"
#include "document/MessageText.h"
#include "document/NumberText.h"
#include "document/PathText.h"
#include "generation/Previews.h"
#include "generation/ScriptFile.h"
#include "reading/LastAnimationLoader.h"

namespace tw {

namespace {
constexpr std::string_view PoseSuffix = ".hap";
}  // namespace

std::optional<MirrorSide> MirrorSideNamed(std::string_view name) {
    if (name == "initial") return MirrorSide::Initial;
    if (name == "final") return MirrorSide::Final;
    if (name == "both") return MirrorSide::Both;
    if (name == "initial-to-final") return MirrorSide::InitialToFinal;
    return std::nullopt;
}

void ApplyMirror(DocumentTexts& document, MirrorSide side) {
    switch (side) {
    case MirrorSide::Initial: document.initial = MirrorColumn(document.initial); break;
    case MirrorSide::Final: document.final = MirrorColumn(document.final); break;
    case MirrorSide::Both:
        document.initial = MirrorColumn(document.initial);
        document.final = MirrorColumn(document.final);
        break;
    case MirrorSide::InitialToFinal: document.final = MirrorColumn(document.initial); break;
    }
}

Outcome<PoseLibrary> PoseLibrary::Open() {
    const Outcome<std::string> folder = PoseFolder();
    if (!folder) return Outcome<PoseLibrary>::Failure(folder.error());
    return Outcome<PoseLibrary>::Success(PoseLibrary(folder.value()));
}

std::optional<std::string> PoseLibrary::NameFault(std::string_view name) {
    const std::string shown = "\"" + ShownName(name) + "\"";
    if (name.find_first_not_of(" \t") == std::string_view::npos) return "A pose needs a name that is not blank.";
    std::size_t chars = 0;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7f) return "The pose name " + shown + " holds a control character.";
        chars += (c & 0xC0) != 0x80;
    }
    if (chars > MaxNameChars)
        return "The pose name " + shown + " is longer than " + std::to_string(MaxNameChars) + " characters.";
    if (name.find('/') != std::string_view::npos) return "The pose name " + shown + " holds a slash.";
    if (name.front() == '.') return "The pose name " + shown + " begins with a dot.";
    return std::nullopt;
}

std::string PoseLibrary::PathOf(std::string_view name) const {
    return folder_ + "/" + std::string(name) + std::string(PoseSuffix);
}

bool PoseLibrary::Has(std::string_view name) const { return ::access(PathOf(name).c_str(), F_OK) == 0; }

std::vector<std::string> PoseLibrary::Names() const {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder_.c_str());
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view file = entry->d_name;
        if (file.size() > PoseSuffix.size() && file.ends_with(PoseSuffix) && file.front() != '.')
            names.emplace_back(file.substr(0, file.size() - PoseSuffix.size()));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

Outcome<void> PoseLibrary::Save(std::string_view name, const DocumentTexts& document, KeyframeSide side) const {
    if (const auto fault = NameFault(name)) return Outcome<void>::Failure(*fault);
    // The pose as the initial keyframe's preview writes it: one frame at time
    // 0, every register named, under a header naming the pose's file.
    DocumentTexts pose = document;
    if (side == KeyframeSide::Final) pose.initial = document.final;
    pose.fileHeader = HeaderNaming(std::string(name) + std::string(PoseSuffix));
    const Outcome<KeyframePreview> preview = KeyframePreviewBlock(pose, KeyframeSide::Initial, 0);
    if (!preview) return Outcome<void>::Failure(preview.error());
    return ReplaceWithQuotedRecord(PathOf(name), preview.value().block);
}

SavedPose PoseLibrary::Read(std::string_view name) const {
    SavedPose pose;
    pose.name = name;
    pose.path = PathOf(name);
    std::array<std::string, RegisterCount> names;
    for (int r = 0; r < RegisterCount; ++r) names[r] = RegisterCatalogue()[r].name;
    const Outcome<LoadedAnimation> loaded = LoadLastAnimationFromFile(pose.path, names);
    if (!loaded) {
        pose.reason = ShownName(loaded.error());
        return pose;
    }
    pose.values = loaded.value().initial;
    if (std::none_of(pose.values.begin(), pose.values.end(), [](const auto& v) { return v.has_value(); })) {
        pose.reason = "It holds no register values.";
        return pose;
    }
    pose.usable = true;
    return pose;
}

Outcome<void> PoseLibrary::Apply(std::string_view name, DocumentTexts& document, KeyframeSide side) const {
    const SavedPose pose = Read(name);
    if (!pose.usable) return Outcome<void>::Failure("The pose \"" + ShownName(name) + "\" cannot be used: " + pose.reason);
    // The file holds each value with three decimals ("0.500"); the box takes
    // the value's decimal text, as the slider writes it ("0.5").
    auto& column = side == KeyframeSide::Initial ? document.initial : document.final;
    for (int r = 0; r < RegisterCount; ++r)
        if (pose.values[r]) column[r] = DecimalText(static_cast<float>(NumericValue(*pose.values[r])));
    return Outcome<void>::Success();
}

Outcome<void> PoseLibrary::Rename(std::string_view from, std::string_view to) const {
    if (const auto fault = NameFault(to)) return Outcome<void>::Failure(*fault);
    // A pose already under the new name is never replaced by a rename.
    if (::renameat2(AT_FDCWD, PathOf(from).c_str(), AT_FDCWD, PathOf(to).c_str(), RENAME_NOREPLACE) != 0)
        return Outcome<void>::Failure("The pose \"" + ShownName(from) + "\" could not be renamed to \"" +
                                      ShownName(to) + "\": " + std::strerror(errno) + ".");
    return Outcome<void>::Success();
}

Outcome<void> PoseLibrary::Remove(std::string_view name) const {
    if (::unlink(PathOf(name).c_str()) != 0)
        return Outcome<void>::Failure("The pose \"" + ShownName(name) + "\" could not be deleted: " +
                                      std::strerror(errno) + ".");
    return Outcome<void>::Success();
}

}  // namespace tw
