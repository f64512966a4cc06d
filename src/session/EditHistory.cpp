#include "session/EditHistory.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "generation/FileMessages.h"
#include "generation/Generation.h"
#include "generation/HeldStopSignals.h"
#include "reading/BlockIndex.h"
#include "session/KeptFile.h"

namespace tw {
namespace {

using file_messages::Named;
using file_messages::Reason;

constexpr std::string_view Unchanged = " The file was not changed.";

// Appends to `out` the file's bytes from `from` on, with every block that
// starts there or later moved by `delta` thousandths; the bytes between blocks
// as they are.
Outcome<void> BlocksMovedFrom(std::string& out, const ReadFile& file, std::uint64_t from, std::int64_t delta,
                              RippleTrace& trace) {
    const std::string_view bytes = file.bytes;
    std::uint64_t at = from;
    for (const BlockEntry& block : file.index.blocks) {
        if (block.offset < from) continue;
        out.append(bytes.substr(at, block.offset - at));
        if (Outcome<void> moved = RippleInto(out, bytes.substr(block.offset, block.length), delta, &trace);
            !moved)
            return moved;
        at = block.end();
    }
    out.append(bytes.substr(at));
    return Outcome<void>::Success();
}

// The file's first `at` bytes, then `block`, then the rest from `from` on
// with its blocks moved by `delta`.
Outcome<std::string> Spliced(const ReadFile& file, std::uint64_t at, std::string_view block,
                             std::uint64_t from, std::int64_t delta, RippleTrace& trace) {
    std::string out;
    ReserveBlock(out, file.bytes.size() + block.size() + file.bytes.size() / 32 + 64);
    out.append(file.bytes, 0, at);
    out.append(block);
    if (Outcome<void> moved = BlocksMovedFrom(out, file, from, delta, trace); !moved)
        return Outcome<std::string>::Failure(moved.error());
    return Outcome<std::string>::Success(std::move(out));
}

// "4.000–6.500 s" of the one block in `record`, or that it holds no frames.
std::string TimesOf(std::string_view record) {
    const BlockIndex index = IndexBlocks(record);
    if (index.blocks.empty() || index.blocks[0].start.empty()) return "it holds no frames";
    return index.blocks[0].start + "\xE2\x80\x93" + index.blocks[0].finish + " s";
}

}  // namespace

std::string_view EditKindNoun(EditKind kind) {
    switch (kind) {
    case EditKind::Add: return "add";
    case EditKind::Replace: return "replacement";
    case EditKind::Insert: return "insertion";
    case EditKind::Remove: return "removal";
    }
    return "edit";
}

EditHistory::EditHistory(std::function<Outcome<std::string>()> keepFolder)
    : keepFolder_(std::move(keepFolder)), adds_(keepFolder_) {}

EditHistory::~EditHistory() {
    for (auto& [key, steps] : files_) {
        for (Step& step : steps.done) Unkeep(step);
        for (Step& step : steps.undone) Unkeep(step);
    }
}

std::string EditHistory::Key(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) return path;
    const std::filesystem::path target = std::filesystem::weakly_canonical(absolute, error);
    return error ? absolute.string() : target.string();
}

Outcome<std::string> EditHistory::Keep(const std::string& path, std::string_view bytes) {
    const Outcome<std::string> folder = keepFolder_();
    if (!folder) return folder;
    std::string name = std::filesystem::path(path).filename().string();
    if (name.size() > 160) name.erase(0, name.size() - 160);
    const std::string kept =
        folder.value() + "/edit-" + std::to_string(::getpid()) + "-" + std::to_string(++kept_) + "-" + name;
    if (const int error = WriteKeptFile(kept, bytes); error != 0)
        return Outcome<std::string>::Failure("It could not be kept in " + Named(kept) + ": " + Reason(error) +
                                             ".");
    return Outcome<std::string>::Success(kept);
}

void EditHistory::Unkeep(Step& step) {
    if (!step.keptFile.empty()) ::unlink(step.keptFile.c_str());
    step.keptFile.clear();
}

void EditHistory::ForgetUndone(const std::string& key, const std::string& path) {
    adds_.Added(path);
    const auto found = files_.find(key);
    if (found == files_.end()) return;
    for (Step& step : found->second.undone) Unkeep(step);
    found->second.undone.clear();
}

void EditHistory::Record(const std::string& path, EditKind kind, BlockEdit edit) {
    const std::string key = Key(path);
    ForgetUndone(key, path);
    Step step{kind, std::move(edit), {}};
    // The bytes the file no longer holds; without a place to keep them on the
    // disk they are still held here for the undo.
    if (!step.edit.removed.empty()) {
        Outcome<std::string> kept = Keep(path, step.edit.removed);
        if (kept) step.keptFile = std::move(kept).value();
    }
    files_[key].done.push_back(std::move(step));
}

void EditHistory::Added(const std::string& path) {
    const std::string key = Key(path);
    ForgetUndone(key, path);
    files_[key].done.push_back(Step{});
}

Outcome<BlockEdit> EditHistory::Replace(const std::string& path, long number, const DocumentTexts& document,
                                        const EditFault& fault) {
    Outcome<BlockEdit> edit = ReplaceBlock(path, number, document, fault);
    if (edit) Record(path, EditKind::Replace, edit.value());
    return edit;
}

Outcome<BlockEdit> EditHistory::InsertBefore(const std::string& path, long number,
                                             const DocumentTexts& document, const EditFault& fault) {
    Outcome<BlockEdit> edit = InsertBlockBefore(path, number, document, fault);
    if (edit) Record(path, EditKind::Insert, edit.value());
    return edit;
}

Outcome<BlockEdit> EditHistory::Remove(const std::string& path, long number, const EditFault& fault) {
    Outcome<BlockEdit> edit = RemoveBlock(path, number, fault);
    if (edit) Record(path, EditKind::Remove, edit.value());
    return edit;
}

std::optional<HistoryStep> EditHistory::NextUndo(const std::string& path) const {
    const auto found = files_.find(Key(path));
    if (found == files_.end() || found->second.done.empty()) return std::nullopt;
    const Step& step = found->second.done.back();
    if (step.kind == EditKind::Add) return std::nullopt;
    return HistoryStep{step.kind, step.edit};
}

std::string EditHistory::UndoQuestion(const HistoryStep& step, std::string_view file) {
    const BlockEdit& edit = step.edit;
    const std::string block = "block " + std::to_string(edit.block);
    const std::string in = " in " + std::string(file) + "?";
    switch (step.kind) {
    case EditKind::Replace:
        return "Take back the replacement of " + block + " (now " + TimesOf(edit.inserted) + ")" + in;
    case EditKind::Insert:
        return "Take back the insertion of " + block + " (" + TimesOf(edit.inserted) + ")" + in;
    case EditKind::Remove:
        return "Take back the removal of " + block + " (" + TimesOf(edit.removed) + ")" + in;
    case EditKind::Add: break;
    }
    return "Take back the last add" + in;
}

Outcome<void> EditHistory::UndoAdd(const LastAdd& add) {
    Outcome<void> undone = adds_.Undo(add);
    if (!undone) return undone;
    FileSteps& steps = files_[Key(add.path)];
    if (!steps.done.empty() && steps.done.back().kind == EditKind::Add) steps.done.pop_back();
    steps.undone.push_back(Step{});
    return undone;
}

Outcome<HistoryResult> EditHistory::UndoEdit(const std::string& path) {
    using Result = Outcome<HistoryResult>;
    const auto found = files_.find(Key(path));
    if (found == files_.end() || found->second.done.empty() ||
        found->second.done.back().kind == EditKind::Add)
        return Result::Failure("No edit of " + Named(path) + " waits to be taken back.");
    FileSteps& steps = found->second;
    Step& step = steps.done.back();
    const BlockEdit& edit = step.edit;
    const std::string what =
        "the " + std::string(EditKindNoun(step.kind)) + " of block " + std::to_string(edit.block);

    const HeldStopSignals held;
    Outcome<ReadFile> read = ReadForEdit(path);
    if (!read) return Result::Failure(read.error());
    const ReadFile& file = read.value();
    if (file.bytes.size() != edit.sizeAfter || Digest(file.bytes) != edit.digestAfter)
        return Result::Failure(Named(path) + " has changed since " + what + ", so it cannot be taken back." +
                               std::string(Unchanged));
    RippleTrace trace;
    trace.restore = &edit.irregular;
    Outcome<std::string> spliced =
        Spliced(file, edit.at, edit.removed, edit.at + edit.inserted.size(), -edit.ripple, trace);
    if (!spliced) return Result::Failure(spliced.error() + std::string(Unchanged));
    const std::string& bytes = spliced.value();
    if (bytes.size() != edit.sizeBefore || Digest(bytes) != edit.digestBefore)
        return Result::Failure("The bytes before " + what + " in " + Named(path) +
                               " could not be made again exactly." + std::string(Unchanged));

    // The inserted block leaves the file: it is kept for the redo first.
    std::string kept;
    if (!edit.inserted.empty()) {
        Outcome<std::string> keep = Keep(path, edit.inserted);
        if (!keep)
            return Result::Failure(
                "The edit was not taken back, because the block could not be kept for redo. " + keep.error());
        kept = std::move(keep).value();
    }
    if (Outcome<void> written = WriteEdited(file, bytes); !written) {
        if (!kept.empty()) ::unlink(kept.c_str());
        return Result::Failure(written.error());
    }
    Unkeep(step);
    step.keptFile = std::move(kept);
    HistoryResult result;
    result.kind = step.kind;
    result.block = edit.block;
    steps.undone.push_back(std::move(step));
    steps.done.pop_back();
    return Result::Success(std::move(result));
}

bool EditHistory::CanRedo(const std::string& path) const {
    const auto found = files_.find(Key(path));
    return found != files_.end() && !found->second.undone.empty();
}

Outcome<HistoryResult> EditHistory::Redo(const std::string& path) {
    using Result = Outcome<HistoryResult>;
    const auto found = files_.find(Key(path));
    if (found == files_.end() || found->second.undone.empty() ||
        found->second.undone.back().kind == EditKind::Add) {
        // An add taken back (also one F6 took from a file with no history).
        Outcome<LastAdd> redone = adds_.Redo(path);
        if (!redone) return Result::Failure(redone.error());
        if (found != files_.end() && !found->second.undone.empty()) found->second.undone.pop_back();
        files_[Key(path)].done.push_back(Step{});
        HistoryResult result;
        result.add = std::move(redone).value();
        return Result::Success(std::move(result));
    }
    FileSteps& steps = found->second;
    Step& step = steps.undone.back();
    const BlockEdit& edit = step.edit;
    const std::string what =
        "the " + std::string(EditKindNoun(step.kind)) + " of block " + std::to_string(edit.block);

    const HeldStopSignals held;
    Outcome<ReadFile> read = ReadForEdit(path);
    if (!read) return Result::Failure(read.error());
    const ReadFile& file = read.value();
    if (file.bytes.size() != edit.sizeBefore || Digest(file.bytes) != edit.digestBefore)
        return Result::Failure(Named(path) + " has changed since " + what +
                               " was taken back, so it cannot be made again." + std::string(Unchanged));
    RippleTrace trace;
    Outcome<std::string> spliced =
        Spliced(file, edit.at, edit.inserted, edit.at + edit.removed.size(), edit.ripple, trace);
    if (!spliced) return Result::Failure(spliced.error() + std::string(Unchanged));
    const std::string& bytes = spliced.value();
    if (bytes.size() != edit.sizeAfter || Digest(bytes) != edit.digestAfter)
        return Result::Failure(what + " of " + Named(path) + " could not be made again exactly." +
                               std::string(Unchanged));

    std::string kept;
    if (!edit.removed.empty()) {
        Outcome<std::string> keep = Keep(path, edit.removed);
        if (keep) kept = std::move(keep).value();
    }
    if (Outcome<void> written = WriteEdited(file, bytes); !written) {
        if (!kept.empty()) ::unlink(kept.c_str());
        return Result::Failure(written.error());
    }
    Unkeep(step);
    step.keptFile = std::move(kept);
    HistoryResult result;
    result.kind = step.kind;
    result.block = edit.block;
    if (step.kind != EditKind::Remove) result.nextStartTime = edit.nextStartTime;
    steps.done.push_back(std::move(step));
    steps.undone.pop_back();
    return Result::Success(std::move(result));
}

std::vector<std::string> EditHistory::KeptFiles() const {
    std::vector<std::string> files = adds_.KeptFiles();
    for (const auto& [key, steps] : files_) {
        for (const Step& step : steps.done)
            if (!step.keptFile.empty()) files.push_back(step.keptFile);
        for (const Step& step : steps.undone)
            if (!step.keptFile.empty()) files.push_back(step.keptFile);
    }
    return files;
}

}  // namespace tw
