// Editing any block of a script file: load it back into the form, replace it
// with the form's block, insert the form's block before it, remove it. Later
// blocks ripple: every clock command in them moves by the same number of
// thousandths, and no other byte of them changes. Every edit writes the whole
// new file beside the old one and renames it over only when the old file is
// still the one that was read; any failure leaves the old file as it was.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "document/DocumentTexts.h"
#include "document/Outcome.h"
#include "reading/BlockIndex.h"
#include "session/ScriptCommands.h"

namespace tw {

// What says a file is still the one that was read: its inode, size, and
// times of last change (a write or truncate moves both; a program that sets
// the modification time back still moves the change time).
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;
    mode_t mode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// A script file as read for an edit: its bytes, their index and identity.
struct ReadFile {
    std::string path;
    std::string bytes;
    BlockIndex index;
    FileIdentity identity;
};

// Reads the whole regular file at `path` (up to a few GB) and indexes it.
Outcome<ReadFile> ReadForEdit(const std::string& path);

// The block a number names: 1 the first, -1 the last; a message naming the
// file when there is none, or (with `editable`) when it is cut off.
Outcome<std::size_t> BlockAt(const ReadFile& file, long number, bool editable);

// A written time ("-1.234") in thousandths; none for another text or one too
// large to move.
std::optional<std::int64_t> Thousandths(std::string_view written);
// Thousandths as "###0.000".
std::string WrittenThousandths(std::int64_t thousandths);

// A clock time the ripple writes in another form than it was written
// ("007.250", "-0.000"): its number among the times moved, and its text.
struct WrittenTime {
    std::uint64_t ordinal = 0;
    std::string text;
    bool operator==(const WrittenTime&) const = default;
};

// What a ripple over several pieces carries from one to the next: how many
// times it has moved, the times it wrote in another form (so that a ripple
// back can give the very bytes again), and, for that ripple back, the texts
// to write instead of the moved times of those numbers (in order).
struct RippleTrace {
    std::uint64_t moved = 0;
    std::vector<WrittenTime> irregular;
    const std::vector<WrittenTime>* restore = nullptr;
    std::size_t restored = 0;
};

// Moves every clock command of `bytes` ("\clock [t= X]", X written "###0.000")
// by `delta` thousandths; fails on a time too large to move.
Outcome<std::string> Ripple(std::string_view bytes, std::int64_t delta, RippleTrace* trace = nullptr);

// As Ripple, appending the moved bytes to `out` (on failure, part of them).
Outcome<void> RippleInto(std::string& out, std::string_view bytes, std::int64_t delta,
                         RippleTrace* trace = nullptr);

// A digest of bytes, by which the history knows a file again.
std::uint64_t Digest(std::string_view bytes);

// Steps of an edit's write, for tests that make one fail.
enum class EditStep { Created, Written, Synced, BeforeRename };
using EditFault = std::function<bool(EditStep)>;

// The file's bytes replaced by `bytes`: a new file in the same folder with
// the old file's mode, written and synced, then renamed over the old one
// once CommitIfUnchanged finds it as it was read; the folder is synced.
// All of it under the writers' lock on the file (waiting up to WindowLockWait
// for another writer). Stop signals are held meanwhile. On failure the new
// file is removed.
Outcome<void> WriteEdited(const ReadFile& file, std::string_view bytes, const EditFault& fault = {});

// The one place that decides whether an edit goes through: checks that the
// file at `path` is still `identity` and renames `temporary` over it. The
// caller holds the writers' lock on the file (WriteEdited takes it before it
// writes the new file and gives it up after the rename).
Outcome<void> CommitIfUnchanged(const std::string& temporary, const std::string& path, const FileIdentity& identity);

// What an edit did, for the history and the form.
struct BlockEdit {
    std::uint64_t at = 0;           // where the old and the new bytes differ first
    std::string removed;            // the block's bytes taken out (empty for an insert)
    std::string inserted;           // the block's bytes put in (empty for a remove)
    std::int64_t ripple = 0;        // thousandths later blocks moved
    std::string nextStartTime;      // for replace and insert: the start time after it, as after F5
    std::string finish;             // the new block's finish time as written
    std::size_t block = 0;          // the edited block's number, 1 the first
    // The whole file before and after, by which the edit is taken back or
    // made again only on the file it left, and the later times the ripple
    // wrote in another form.
    std::uint64_t sizeBefore = 0, sizeAfter = 0;
    std::uint64_t digestBefore = 0, digestAfter = 0;
    std::vector<WrittenTime> irregular;
};

// "Load this block": the form as "Load last animation from file" leaves it
// when the block is the file's last (for -1, exactly that).
Outcome<LoadedDocument> LoadBlockInto(const std::string& path, long number, DocumentTexts document);

Outcome<BlockEdit> ReplaceBlock(const std::string& path, long number, const DocumentTexts& document,
                                const EditFault& fault = {});
Outcome<BlockEdit> InsertBlockBefore(const std::string& path, long number, const DocumentTexts& document,
                                     const EditFault& fault = {});
Outcome<BlockEdit> RemoveBlock(const std::string& path, long number, const EditFault& fault = {});

// "Remove block 3 (4.000–6.500 s) from FILE?"
std::string RemoveQuestion(const BlockEntry& block, std::size_t number, std::string_view file);

}  // namespace tw
