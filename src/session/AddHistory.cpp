#include "session/AddHistory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <system_error>

#include "document/NumberText.h"
#include "generation/FileMessages.h"
#include "generation/HapScript.h"
#include "generation/HeldStopSignals.h"
#include "generation/LastRecord.h"
#include "generation/ScriptFile.h"
#include "reading/FileBytes.h"
#include "session/KeptFile.h"

namespace tw {
namespace {

// How much of a file's end is read first; a longer record is read in
// growing steps, never more than it and the line before it.
constexpr std::size_t FirstRead = std::size_t{1} << 16;

using file_messages::KindOf;
using file_messages::Named;
using file_messages::Reason;

std::string ReadFailure(const std::string& path, int error) {
    if (error < 0) return Named(path) + " changed while it was read. Nothing was changed.";
    return "Could not read " + Named(path) + ": " + Reason(error) + ".";
}

}  // namespace

Outcome<LastAdd> FindLastAdd(const std::string& path, const LoadControl& control) {
    using Result = Outcome<LastAdd>;
    struct stat there {};
    if (::stat(path.c_str(), &there) != 0)
        return Result::Failure("Could not read " + Named(path) + ": " + Reason(errno) + ".");
    if (!S_ISREG(there.st_mode))
        return Result::Failure(Named(path) + " is " + KindOf(there.st_mode) + ", not a script file.");
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Result::Failure("Could not read " + Named(path) + ": " + Reason(errno) + ".");
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return Result::Failure(Named(path) + " changed while it was read. Nothing was changed.");
    }
    const auto length = static_cast<std::uint64_t>(info.st_size);
    if (length == 0) {
        ::close(fd);
        return Result::Failure(Named(path) + " is empty: there is no animation in it to take back.");
    }

    // Read from the end in growing steps, never more than the loader holds
    // of a last block; each step reads only the bytes before those held, a
    // chunk at a time, so a stop is seen soon and the share read reported.
    const std::uint64_t reach = std::min(length, control.maxBytes);
    const auto stopped = [&control] { return control.stop && control.stop->load(std::memory_order_relaxed); };
    // One buffer as large as the most it may hold, filled from its end: no
    // byte is copied twice, and pages never reached are never touched.
    const auto buffer = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(reach));
    char* const end = buffer.get() + reach;
    std::size_t held = 0;
    std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(reach, FirstRead));
    for (;;) {
        for (; held < want;) {
            if (stopped()) {
                ::close(fd);
                return Result::Failure(ReadStoppedMessage);
            }
            const std::size_t count = std::min(ReadChunkBytes, want - held);
            if (const int error = ReadExactlyAt(fd, end - held - count, count, length - held - count);
                error != 0) {
                ::close(fd);
                return Result::Failure(ReadFailure(path, error));
            }
            held += count;
            if (control.reading) control.reading(static_cast<int>(std::uint64_t{held} * 99 / reach));
        }
        const std::string_view tail(end - want, want);
        const EndReading reading = ReadRecordAtEnd(tail, want == length);
        if (reading.verdict == EndVerdict::NeedMore) {
            if (want == reach) {
                ::close(fd);
                return Result::Failure("The last animation of " + Named(path) +
                                       " is not taken back: it is larger than " +
                                       std::to_string(control.maxBytes >> 20) + " MB. Nothing was changed.");
            }
            want = static_cast<std::size_t>(std::min<std::uint64_t>(reach, std::uint64_t{want} * 4));
            continue;
        }
        ::close(fd);
        if (reading.verdict == EndVerdict::NotARecord) {
            return Result::Failure("The end of " + Named(path) +
                                   " was not written by \"Generate & add to file\", so there is no add "
                                   "to take back. Nothing was changed.");
        }
        const RecordAtEnd& found = reading.record;
        LastAdd add;
        add.path = path;
        add.fileLength = length;
        add.header = HeaderForBox(found.header);
        if (found.hasSubHeader) add.subHeader = SubHeaderForBox(found.subHeader);
        add.firstTime = found.firstTime;
        add.lastTime = found.lastTime;
        add.record = std::string(tail.substr(found.start));
        return Result::Success(std::move(add));
    }
}

std::string UndoQuestion(const LastAdd& add, std::string_view file) {
    const std::string span = add.firstTime.empty() ? "(it holds no frames)"
                                                   : "(from " + add.firstTime + " to " + add.lastTime + " s)";
    return "Remove the last animation " + span + " from " + std::string(file) + "?";
}

namespace {

// CutOff; `lost` turns true when the file may have lost the record all the
// same (its cut could not be saved, nor undone).
Outcome<std::string> Cut(const LastAdd& add, bool& lost) {
    using Result = Outcome<std::string>;
    lost = false;
    const std::string& path = add.path;
    const std::string unchanged = " The file was not changed.";
    struct stat there {};
    if (::stat(path.c_str(), &there) == 0 && !S_ISREG(there.st_mode))
        return Result::Failure(Named(path) + " is now " + KindOf(there.st_mode) + ", not a script file." +
                               unchanged);

    const HeldStopSignals held;
    // The check and the cut under the writers' lock: no record can be added
    // between them.
    FileChange::Left left = FileChange::Left::AsItWas;
    Outcome<LockedScriptFile> locked =
        LockedScriptFile::Take(path, LockedScriptFile::Open::OnlyWhenThere, WindowLockWait,
                               "The file is being written by another program; nothing was taken back.", &left,
                               "to take the animation off");
    if (!locked)
        return Result::Failure(left == FileChange::Left::Busy ? locked.error() : locked.error() + unchanged);
    const int fd = locked.value().fd();
    const auto fail = [&](const std::string& message) { return Result::Failure(message); };
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return fail("Could not read the size of " + Named(path) + ": " + Reason(errno) + ".");
    if (!S_ISREG(info.st_mode))
        return fail(Named(path) + " is now " + KindOf(info.st_mode) + ", not a script file." + unchanged);
    const auto length = static_cast<std::uint64_t>(info.st_size);
    if (length != add.fileLength) {
        return fail(Named(path) + " has changed since its last animation was read: it is " +
                    std::to_string(length) + " bytes long, not " + std::to_string(add.fileLength) + "." +
                    unchanged);
    }
    const std::uint64_t start = add.start();
    std::string now(add.record.size(), '\0');
    if (const int error = ReadExactlyAt(fd, now.data(), now.size(), start); error != 0)
        return fail(ReadFailure(path, error));
    if (now != add.record) {
        return fail(Named(path) +
                    " has changed since its last animation was read: its end is no longer the same." +
                    unchanged);
    }
    std::string tail(static_cast<std::size_t>(std::min<std::uint64_t>(start, TailKept)), '\0');
    if (const int error = ReadExactlyAt(fd, tail.data(), tail.size(), start - tail.size()); error != 0)
        return fail(ReadFailure(path, error));

    if (::ftruncate(fd, static_cast<off_t>(start)) != 0) {
        return fail("Could not cut " + Named(path) + " back to before its last animation: " + Reason(errno) +
                    "." + unchanged);
    }
    if (::fdatasync(fd) != 0) {
        // Not known to be on the disk: the record goes back where it was.
        const int error = errno;
        const bool restored = ::pwrite(fd, add.record.data(), add.record.size(), static_cast<off_t>(start)) ==
                                  static_cast<ssize_t>(add.record.size()) &&
                              ::fdatasync(fd) == 0;
        lost = !restored;
        return fail("Could not save the cut of " + Named(path) + " to the disk: " + Reason(error) + "." +
                    (restored ? unchanged : " The animation could not be put back."));
    }
    // The cut is on the disk (fdatasync said so); the close gives up the lock.
    (void)locked.value().Close();
    return Result::Success(std::move(tail));
}

}  // namespace

Outcome<std::string> CutOff(const LastAdd& add) {
    bool lost = false;
    return Cut(add, lost);
}

std::string StartTimeAfterRedo(const LastAdd& add, const std::string& finishTimeText) {
    if (add.lastTime.empty() || add.lastTime == add.firstTime) return finishTimeText;
    return DecimalText(NumericValue(add.lastTime));
}

AddHistory::AddHistory(std::function<Outcome<std::string>()> keepFolder)
    : keepFolder_(std::move(keepFolder)) {}

AddHistory::~AddHistory() {
    for (const std::string& file : KeptFiles()) ::unlink(file.c_str());
}

std::string AddHistory::Key(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) return path;
    const std::filesystem::path target = std::filesystem::weakly_canonical(absolute, error);
    return error ? absolute.string() : target.string();
}

Outcome<void> AddHistory::Undo(const LastAdd& add) {
    const Outcome<std::string> folder = keepFolder_();
    if (!folder) {
        return Outcome<void>::Failure(
            "The animation was not taken back, because it could not be kept for redo: " + folder.error());
    }
    // The name ends with the script file's own, shortened to fit a name.
    std::string name = std::filesystem::path(add.path).filename().string();
    if (name.size() > 160) name.erase(0, name.size() - 160);
    const std::string kept =
        folder.value() + "/undone-" + std::to_string(::getpid()) + "-" + std::to_string(++kept_) + "-" + name;

    const HeldStopSignals held;
    if (const int error = WriteKeptFile(kept, add.record); error != 0) {
        return Outcome<void>::Failure(
            "The animation was not taken back, because it could not be kept for redo in " + Named(kept) +
            ": " + Reason(error) + ".");
    }
    bool lost = false;
    Outcome<std::string> cut = Cut(add, lost);
    if (!cut) {
        // The copy stays only when the file may have lost the record.
        if (!lost) {
            ::unlink(kept.c_str());
            return Outcome<void>::Failure(cut.error());
        }
        return Outcome<void>::Failure(cut.error() + " A copy of the animation is in " + Named(kept) + ".");
    }
    undone_[Key(add.path)].push_back(Undone{add, add.start(), std::move(cut.value()), kept});
    return Outcome<void>::Success();
}

bool AddHistory::CanRedo(const std::string& path) const {
    const auto found = undone_.find(Key(path));
    return found != undone_.end() && !found->second.empty();
}

Outcome<LastAdd> AddHistory::Redo(const std::string& path) {
    using Result = Outcome<LastAdd>;
    const auto found = undone_.find(Key(path));
    if (found == undone_.end() || found->second.empty())
        return Result::Failure("No animation taken back from " + Named(path) + " waits to be put back.");
    Undone& last = found->second.back();
    const std::string_view record = last.add.record;
    const std::string_view block =
        record.substr(RecordOpen.size(), record.size() - RecordOpen.size() - RecordClose.size());
    const auto asLeft = [&](int fd, std::uint64_t length) -> std::optional<std::string> {
        const std::string notPut = " The animation was not put back.";
        if (length != last.lengthAfter) {
            return Named(path) + " has changed since the last undo: it is " + std::to_string(length) +
                   " bytes long, not " + std::to_string(last.lengthAfter) + " as the undo left it." + notPut;
        }
        std::string tail(last.tailAfter.size(), '\0');
        if (const int error = ReadExactlyAt(fd, tail.data(), tail.size(), length - tail.size()); error != 0)
            return ReadFailure(path, error);
        if (tail != last.tailAfter)
            return Named(path) +
                   " has changed since the last undo: its last bytes are not those the undo left." + notPut;
        return std::nullopt;
    };
    const FileChange put = AppendQuotedRecordOnto(
        path, block, asLeft, "The file is being written by another program; the animation was not put back.");
    if (!put) return Result::Failure(put.error());
    ::unlink(last.keptFile.c_str());
    LastAdd add = std::move(last.add);
    found->second.pop_back();
    return Result::Success(std::move(add));
}

void AddHistory::Added(const std::string& path) {
    const auto found = undone_.find(Key(path));
    if (found == undone_.end()) return;
    for (const Undone& undone : found->second) ::unlink(undone.keptFile.c_str());
    undone_.erase(found);
}

std::vector<std::string> AddHistory::KeptFiles() const {
    std::vector<std::string> files;
    for (const auto& [key, list] : undone_)
        for (const Undone& undone : list) files.push_back(undone.keptFile);
    return files;
}

}  // namespace tw
