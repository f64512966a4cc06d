#include "session/UndoLookup.h"

#include "session/TailMend.h"

namespace tw {

Outcome<UndoLookup> LookUpUndo(const std::string& path, const std::array<std::string, RegisterCount>& names,
                               const ProgressFn& progress, const LoadControl& control) {
    using Result = Outcome<UndoLookup>;
    UndoLookup lookup;
    const Outcome<std::optional<std::uint64_t>> torn = TornTailOf(path);
    if (!torn) return Result::Failure(torn.error());
    if (torn.value()) {
        lookup.tornBytes = *torn.value();
        return Result::Success(std::move(lookup));
    }
    Outcome<LastAdd> add = FindLastAdd(path, control);
    if (!add) return Result::Failure(add.error());
    if (control.fileRead) control.fileRead();
    lookup.loaded = LoadLastAnimation(add.value().record, names, progress);
    lookup.add = std::move(add).value();
    return Result::Success(std::move(lookup));
}

}  // namespace tw
