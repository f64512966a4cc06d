// Taking back adds to a script file: the record the last add wrote is cut
// off the file's end and kept, so that it can be put back byte for byte.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "document/Outcome.h"
#include "reading/LastAnimationLoader.h"

namespace tw {

// The record at the end of a script file, as read.
struct LastAdd {
    std::string path;              // the file as named (a symbolic link is followed)
    std::string record;            // its bytes, opening quote to the last line end
    std::uint64_t fileLength = 0;  // the file's length when it was read
    std::string header;            // its header line, as the File Header box holds it
    std::string subHeader;         // its sub header as the Sub Header box holds it; empty for none
    std::string firstTime;         // its first and last clock times as written ("2.500"),
    std::string lastTime;          // both empty when it holds no frame

    std::uint64_t start() const { return fileLength - record.size(); }
};

// Reads the end of the file at `path`, only as far back as its last record
// goes, and never more than `control.maxBytes` (the loader's cap on a last
// block); `control.reading` gets the share of that read so far and
// `control.stop` stops it between chunks. Fails with a message naming the file
// when it cannot be read (missing, not a regular file, no permission), is
// empty, does not end with one whole record as "Generate & add to file"
// writes it, or its last record is larger than the cap; or when stopped.
Outcome<LastAdd> FindLastAdd(const std::string& path, const LoadControl& control = {});

// "Remove the last animation (from T1 to T2 s) from FILE?" with `file` as the
// user named the file; a record without frames says so instead of the times.
std::string UndoQuestion(const LastAdd& add, std::string_view file);

// Cuts `add` off its file, back to the byte before the record (ftruncate,
// then fdatasync; a file cut to nothing stays as an empty file). Only when the
// file is still as it was read: a regular file of the same length with the
// record's bytes at its end. Otherwise, or when the file cannot be written,
// fails with a message naming the file and the reason, and the file is left as
// it was. Stop signals are held meanwhile, so a stop leaves the file whole or
// cut exactly at the record's start. Gives the file's last bytes after the cut
// (up to TailKept of them), by which a redo recognises the file.
inline constexpr std::size_t TailKept = 4096;
Outcome<std::string> CutOff(const LastAdd& add);

// The start time after a redo, as after the add itself: the block's last
// clock time as a number text ("2.500" gives "2.5"). A block whose clock never
// moves on from its first time (no register moves, or no frames) does not
// hold its finish time; the window's finish time text is taken then, as
// after F5.
std::string StartTimeAfterRedo(const LastAdd& add, const std::string& finishTimeText);

// The records taken back from script files, newest last per file, for redo
// until this ends. Each is also kept as a file of its own in a folder (the
// per-user preview folder), written and on the disk before its file is cut,
// so a crash between the cut and a redo loses nothing; the kept file is
// removed when its record goes back, when a new add drops it, or when this
// ends. The kept files are named "undone-<process>-<number>-<file name>" and
// hold the record exactly as it stood in the file.
class AddHistory {
public:
    // `keepFolder` gives the folder for the kept files at each undo, or the
    // reason there is none (the undo is then refused).
    explicit AddHistory(std::function<Outcome<std::string>()> keepFolder);
    ~AddHistory();
    AddHistory(const AddHistory&) = delete;
    AddHistory& operator=(const AddHistory&) = delete;

    // Keeps `add` (on the disk first), then cuts it off its file. On failure
    // nothing is kept and the file is as it was.
    Outcome<void> Undo(const LastAdd& add);

    // Whether a record taken back from the file at `path` waits for redo.
    bool CanRedo(const std::string& path) const;

    // Appends the record most recently taken back from the file at `path`,
    // byte for byte, only when the file is exactly as that undo left it (same
    // length, same last bytes); otherwise a message, and nothing is written.
    // Gives the record as it was taken back.
    Outcome<LastAdd> Redo(const std::string& path);

    // A new add to the file at `path`: the records taken back from it are
    // dropped.
    void Added(const std::string& path);

    // The kept files of the records waiting for redo.
    std::vector<std::string> KeptFiles() const;

private:
    struct Undone {
        LastAdd add;
        std::uint64_t lengthAfter = 0;  // the file's length after the cut
        std::string tailAfter;          // its last bytes after the cut
        std::string keptFile;
    };
    static std::string Key(const std::string& path);

    std::function<Outcome<std::string>()> keepFolder_;
    std::map<std::string, std::vector<Undone>> undone_;
    unsigned kept_ = 0;
};

}  // namespace tw
