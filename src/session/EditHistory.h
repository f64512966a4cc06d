// The edit history of script files: every add (F5) and every edit of a block
// (replace, insert before, remove) made in this run, per file, newest last,
// so that "Undo Last Add (F6)" takes back the last of them whatever its kind
// and "Redo Add (F7)" does it again, exact to the byte.
//
// An add is taken back as AddHistory takes it back (the record at the file's
// end cut off and kept), also when the history holds no step for the file.
// An edit is taken back only when the file is byte for byte as that edit left
// it (its size and digest); its block goes back in its place and the later
// blocks move back by the same thousandths, each time text that the ripple
// wrote differently ("007.250", "-0.000") as it was written. A redo needs the
// file as the undo left it. What a step keeps is the bytes it took out of the
// file and their place, never a copy of the file; bytes the file no longer
// holds are also kept as a file of their own in the keep folder (the private
// preview folder) until the step is forgotten or this ends.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "document/DocumentTexts.h"
#include "document/Outcome.h"
#include "session/AddHistory.h"
#include "session/FileEdits.h"

namespace tw {

enum class EditKind { Add, Replace, Insert, Remove };

// One step of the history as the window needs it: what it was and where.
struct HistoryStep {
    EditKind kind = EditKind::Add;
    BlockEdit edit;  // for replace, insert and remove
};

// What an undo or a redo did, for the form.
struct HistoryResult {
    EditKind kind = EditKind::Add;
    std::optional<LastAdd> add;  // the add's record, for an add
    std::size_t block = 0;       // the edited block's number, for an edit
    // The start time the form takes after a redo of an add, replace or
    // insert (as after F5 or the edit itself); empty to leave it.
    std::string nextStartTime;
};

class EditHistory {
public:
    // `keepFolder` gives the folder for kept bytes, or the reason there is
    // none (a step that needs it is then refused).
    explicit EditHistory(std::function<Outcome<std::string>()> keepFolder);
    ~EditHistory();
    EditHistory(const EditHistory&) = delete;
    EditHistory& operator=(const EditHistory&) = delete;

    // The edits, done and recorded: each forgets what was taken back from
    // the file (as a new F5 does) and becomes the step F6 takes back next.
    Outcome<BlockEdit> Replace(const std::string& path, long number, const DocumentTexts& document,
                               const EditFault& fault = {});
    Outcome<BlockEdit> InsertBefore(const std::string& path, long number, const DocumentTexts& document,
                                    const EditFault& fault = {});
    Outcome<BlockEdit> Remove(const std::string& path, long number, const EditFault& fault = {});

    // An edit made by the calls of FileEdits, recorded afterwards.
    void Record(const std::string& path, EditKind kind, BlockEdit edit);
    // A new add (F5) to the file at `path`: recorded as a step, and what was
    // taken back from the file is forgotten.
    void Added(const std::string& path);

    // The step F6 takes back next for the file: an edit, or nothing when it
    // is an add or the history holds none (F6 then takes back the record at
    // the file's end, as FindLastAdd finds it).
    std::optional<HistoryStep> NextUndo(const std::string& path) const;
    // "Take back the replacement of block 3 (now 4.000–6.500 s) in FILE?" for
    // the step NextUndo gives, with `file` as the user named the file.
    static std::string UndoQuestion(const HistoryStep& step, std::string_view file);

    // Takes back the add `add` (FindLastAdd's), as AddHistory::Undo does.
    Outcome<void> UndoAdd(const LastAdd& add);
    // Takes back the edit NextUndo gives; refused, the file unchanged, when
    // there is none or the file is not as the edit left it.
    Outcome<HistoryResult> UndoEdit(const std::string& path);

    // Whether a step taken back from the file at `path` waits for redo.
    bool CanRedo(const std::string& path) const;
    // Does again the step taken back last (an add appended byte for byte, an
    // edit made again), only when the file is as that undo left it.
    Outcome<HistoryResult> Redo(const std::string& path);

    // The files holding kept bytes of the steps, for tests and the exit.
    std::vector<std::string> KeptFiles() const;

private:
    struct Step {
        EditKind kind = EditKind::Add;
        BlockEdit edit;
        std::string keptFile;  // the bytes the file does not hold now
    };
    struct FileSteps {
        std::vector<Step> done, undone;
    };
    static std::string Key(const std::string& path);
    void ForgetUndone(const std::string& key, const std::string& path);
    Outcome<std::string> Keep(const std::string& path, std::string_view bytes);
    void Unkeep(Step& step);

    std::function<Outcome<std::string>()> keepFolder_;
    AddHistory adds_;
    std::map<std::string, FileSteps> files_;
    unsigned kept_ = 0;
};

// "Undo Last Add (F6)" and "Redo Add (F7)" over the history; the names of the
// kinds as the messages use them ("replacement", "insertion", "removal").
std::string_view EditKindNoun(EditKind kind);

}  // namespace tw
