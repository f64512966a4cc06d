// Tools for poses: a keyframe's column mirrored left for right, and the
// user's library of named poses. Each pose is kept as a one-frame hap file
// (the form the keyframe preview writes) in the user's pose folder, and read
// back with the loader's rules, so a pose file is an ordinary script.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/DocumentTexts.h"
#include "document/Outcome.h"
#include "figure/Mirror.h"

namespace tw {

// Which column a mirror changes: one in place, both, or the final column
// made the mirror image of the initial one.
enum class MirrorSide { Initial, Final, Both, InitialToFinal };
std::optional<MirrorSide> MirrorSideNamed(std::string_view name);  // "initial", "final", "both", "initial-to-final"
void ApplyMirror(DocumentTexts& document, MirrorSide side);

// A saved pose as listed: its values, or why it cannot be applied.
struct SavedPose {
    std::string name;
    std::string path;
    bool usable = false;
    std::string reason;  // when not usable: the loader's message, shortened
    // The value texts the pose holds; a register it does not name has none.
    std::array<std::optional<std::string>, RegisterCount> values;
};

class PoseLibrary {
public:
    // The library in `folder`, which must exist.
    explicit PoseLibrary(std::string folder) : folder_(std::move(folder)) {}
    // The user's own library (PoseFolder()).
    static Outcome<PoseLibrary> Open();

    // Why `name` cannot name a pose (a slash, "..", a leading dot, control
    // characters, only blanks, more than MaxNameChars characters), or none.
    static std::optional<std::string> NameFault(std::string_view name);
    static constexpr std::size_t MaxNameChars = 100;

    const std::string& Folder() const { return folder_; }
    std::string PathOf(std::string_view name) const;
    bool Has(std::string_view name) const;
    // The names of the saved poses, sorted.
    std::vector<std::string> Names() const;

    // Keeps the `side` column of `document` as the pose `name`, replacing a
    // pose of that name whole (the caller asks first).
    Outcome<void> Save(std::string_view name, const DocumentTexts& document, KeyframeSide side) const;
    SavedPose Read(std::string_view name) const;
    // Writes pose `name` into the `side` column: the registers it names take
    // the decimal texts of its values, the others keep theirs. Fails,
    // changing nothing, on a pose that cannot be read.
    Outcome<void> Apply(std::string_view name, DocumentTexts& document, KeyframeSide side) const;
    Outcome<void> Rename(std::string_view from, std::string_view to) const;
    Outcome<void> Remove(std::string_view name) const;

private:
    std::string folder_;
};

}  // namespace tw
