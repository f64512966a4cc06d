// What "Undo Last Add (F6)" finds before it asks: the file's last add and the
// block it brings back into the form, or the unfinished record a killed
// append left, which only a mend takes off. All of it reads the file, so the
// window runs it beside its own thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "document/Outcome.h"
#include "document/Progress.h"
#include "reading/LastAnimationLoader.h"
#include "session/AddHistory.h"

namespace tw {

struct UndoLookup {
    // The file ends in an unfinished record of this many bytes; 0 when it
    // does not (then `add` and `loaded` are set).
    std::uint64_t tornBytes = 0;
    std::optional<LastAdd> add;
    LoadedAnimation loaded;  // the add's block as a load reads it
};

// Looks for an unfinished record at the end of the file at `path`; when there
// is none, finds its last add (FindLastAdd with `control`) and loads its block
// with `names` as the name cells (`progress` the bar of its lines). Fails as
// FindLastAdd does.
Outcome<UndoLookup> LookUpUndo(const std::string& path, const std::array<std::string, RegisterCount>& names,
                               const ProgressFn& progress = {}, const LoadControl& control = {});

}  // namespace tw
