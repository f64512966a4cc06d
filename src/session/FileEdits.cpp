#include "session/FileEdits.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "document/FieldRules.h"
#include "document/NumberText.h"
#include "generation/FileMessages.h"
#include "generation/Generation.h"
#include "generation/GenerationRun.h"
#include "generation/HapScript.h"
#include "generation/HeldStopSignals.h"
#include "generation/ScriptFile.h"
#include "reading/FileBytes.h"
#include "reading/LastAnimationLoader.h"
#include "session/KeptFile.h"

namespace tw {
namespace {

using file_messages::Named;
using file_messages::Reason;

constexpr std::string_view Unchanged = " The file was not changed.";

std::optional<FileIdentity> IdentityOf(const std::string& path, int* error = nullptr) {
    struct stat info{};
    if (::stat(path.c_str(), &info) != 0) {
        if (error) *error = errno;
        return std::nullopt;
    }
    FileIdentity id;
    id.device = info.st_dev;
    id.inode = info.st_ino;
    id.size = static_cast<std::uint64_t>(info.st_size);
    id.modifiedNs = std::int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
    id.changedNs = std::int64_t{info.st_ctim.tv_sec} * 1000000000 + info.st_ctim.tv_nsec;
    id.mode = info.st_mode;
    return id;
}

// The bytes of the file with `later` (the blocks from `from` on) rippled by
// `delta`, everything between them as it was.
Outcome<void> RippledFrom(std::string& out, const ReadFile& file, std::size_t from, std::uint64_t start,
                          std::int64_t delta, RippleTrace* trace) {
    std::uint64_t at = start;
    const std::string_view bytes = file.bytes;
    for (std::size_t k = from; k < file.index.blocks.size(); ++k) {
        const BlockEntry& block = file.index.blocks[k];
        out.append(bytes.substr(at, block.offset - at));
        const std::string_view moving = bytes.substr(block.offset, block.length);
        if (Outcome<void> moved = RippleInto(out, moving, delta, trace); !moved) return moved;
        at = block.end();
    }
    out.append(bytes.substr(at));
    return Outcome<void>::Success();
}

// Room for the edited file: the old one, `more` bytes and what a ripple may
// add (a time that gains a digit).
std::string Room(const ReadFile& file, std::size_t more) {
    std::string room;
    ReserveBlock(room, file.bytes.size() + more + file.bytes.size() / 32 + 64);
    return room;
}

std::optional<std::int64_t> Span(const BlockEntry& block) {
    const auto start = Thousandths(block.start), finish = Thousandths(block.finish);
    if (!start || !finish) return std::nullopt;
    return *finish - *start;
}

// The form's block as F5 writes it, started at `start` (a written time; the
// form's own start time when empty), and its index entry.
struct NewBlock {
    std::string record;
    BlockEntry entry;
    std::string nextStartTime;
};

Outcome<NewBlock> FormBlock(const std::string& path, DocumentTexts document, const std::string& start) {
    document.activeFile = path;
    if (!start.empty()) {
        document.startTime = DecimalText(NumericValue(start));
        document.finishTime = FinishTimeText(document.startTime, document.dKeyframe);
    }
    Outcome<DocumentRun> run = RunDocument(BlockDestination::File, document);
    if (!run) return Outcome<NewBlock>::Failure(run.error());
    NewBlock made;
    made.record = QuotedRecord(run.value().block.text);
    made.entry = IndexBlocks(made.record).blocks.at(0);
    made.nextStartTime = run.value().nextStartTime;
    return Outcome<NewBlock>::Success(std::move(made));
}

Outcome<BlockEdit> Finish(const ReadFile& file, std::string bytes, BlockEdit edit, RippleTrace trace,
                          const EditFault& fault) {
    edit.sizeBefore = file.bytes.size();
    edit.sizeAfter = bytes.size();
    edit.digestBefore = Digest(file.bytes);
    edit.digestAfter = Digest(bytes);
    edit.irregular = std::move(trace.irregular);
    if (Outcome<void> written = WriteEdited(file, bytes, fault); !written)
        return Outcome<BlockEdit>::Failure(written.error());
    return Outcome<BlockEdit>::Success(std::move(edit));
}

}  // namespace

Outcome<ReadFile> ReadForEdit(const std::string& path) {
    using Result = Outcome<ReadFile>;
    int error = 0;
    const std::optional<FileIdentity> before = IdentityOf(path, &error);
    if (!before) return Result::Failure("Could not read " + Named(path) + ": " + Reason(error) + ".");
    // Read into memory taken in huge pages: a fresh 4 KiB page costs a fault,
    // which for a file of a hundred megabytes is most of the edit's time.
    Outcome<OpenedFile> opened = OpenedFile::Open(path);
    if (!opened) return Result::Failure(opened.error());
    constexpr std::uint64_t Largest = std::uint64_t{4} << 30;
    if (opened.value().size() > Largest) return Result::Failure(TooLargeMessage(path, Largest));
    Outcome<std::string> bytes = Outcome<std::string>::Success(std::string());
    ReserveBlock(bytes.value(), static_cast<std::size_t>(opened.value().size()));
    bytes.value().resize(static_cast<std::size_t>(opened.value().size()));
    if (Outcome<void> read = opened.value().ReadAt(0, bytes.value().data(), bytes.value().size()); !read)
        return Result::Failure(read.error());
    if (IdentityOf(path) != before)
        return Result::Failure(Named(path) + " changed while it was read." + std::string(Unchanged));
    ReadFile file;
    file.path = path;
    file.bytes = std::move(bytes).value();
    file.index = IndexBlocks(file.bytes);
    file.identity = *before;
    return Result::Success(std::move(file));
}

Outcome<std::size_t> BlockAt(const ReadFile& file, long number, bool editable) {
    using Result = Outcome<std::size_t>;
    const auto count = static_cast<long>(file.index.blocks.size());
    if (number == 0 || number > count || number < -count) {
        return Result::Failure(Named(file.path) + " has no block " + std::to_string(number) + ": it holds " +
                               std::to_string(count) + (count == 1 ? " block." : " blocks."));
    }
    const auto k = static_cast<std::size_t>(number > 0 ? number - 1 : count + number);
    if (editable && !file.index.blocks[k].complete) {
        return Result::Failure("Block " + std::to_string(k + 1) + " of " + Named(file.path) +
                               " is cut off (it has no closing line), so it cannot be edited." +
                               std::string(Unchanged));
    }
    return Result::Success(k);
}

std::optional<std::int64_t> Thousandths(std::string_view written) {
    const bool minus = !written.empty() && written[0] == '-';
    const std::string_view digits = written.substr(minus ? 1 : 0);
    if (digits.size() < 5 || digits.size() > 19 || digits[digits.size() - 4] != '.') return std::nullopt;
    std::int64_t value = 0;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i == digits.size() - 4) continue;
        if (digits[i] < '0' || digits[i] > '9') return std::nullopt;
        value = value * 10 + (digits[i] - '0');
    }
    return minus ? -value : value;
}

std::string WrittenThousandths(std::int64_t thousandths) {
    const bool minus = thousandths < 0;
    const std::uint64_t magnitude = minus ? 0 - static_cast<std::uint64_t>(thousandths)
                                          : static_cast<std::uint64_t>(thousandths);
    std::string fraction = std::to_string(magnitude % 1000);
    fraction.insert(0, 3 - fraction.size(), '0');
    return (minus ? "-" : "") + std::to_string(magnitude / 1000) + "." + fraction;
}

Outcome<std::string> Ripple(std::string_view bytes, std::int64_t delta, RippleTrace* trace) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 64);
    if (Outcome<void> moved = RippleInto(out, bytes, delta, trace); !moved)
        return Outcome<std::string>::Failure(moved.error());
    return Outcome<std::string>::Success(std::move(out));
}

Outcome<void> RippleInto(std::string& out, std::string_view bytes, std::int64_t delta, RippleTrace* trace) {
    if (delta == 0) {
        out.append(bytes);
        return Outcome<void>::Success();
    }
    constexpr std::int64_t Limit = std::int64_t{1} << 60;
    // A time that can be moved has at most 19 digits, so its "]" is near.
    constexpr std::size_t LongestTime = 21;
    std::size_t copied = 0, search = 0;
    for (std::size_t clock; (clock = bytes.find(ClockPrefix, search)) != std::string_view::npos;) {
        const std::size_t number = clock + ClockPrefix.size();
        search = number;
        // The time runs over digits, signs and points only, so each search
        // stops within its own time and the whole ripple stays linear.
        const std::size_t close = bytes.find_first_not_of("-0123456789.", number);
        if (close == std::string_view::npos) break;
        if (bytes[close] != ']') continue;
        const std::string_view text = bytes.substr(number, close - number);
        const std::optional<std::int64_t> value = close - number <= LongestTime ? Thousandths(text) : std::nullopt;
        if (!value) {
            // A written time too long to move refuses the edit; any other text stays.
            const std::size_t digits = text.find_first_not_of("-0123456789.");
            if (digits == std::string_view::npos && text.size() > LongestTime && text.size() >= 5 &&
                text[text.size() - 4] == '.' && text.find('.') == text.size() - 4)
                return Outcome<void>::Failure("A clock time is too large to move.");
            continue;
        }
        if (*value > Limit || *value < -Limit || delta > Limit || delta < -Limit)
            return Outcome<void>::Failure("A clock time (" + std::string(text) + ") is too large to move.");
        out.append(bytes.substr(copied, number - copied));
        const std::size_t written = out.size();
        out += WrittenThousandths(*value + delta);
        if (trace) {
            const std::uint64_t ordinal = trace->moved++;
            // The ripple writes no leading zero and no minus before zero.
            const std::size_t lead = text[0] == '-' ? 1 : 0;
            if ((text.size() - lead > 5 && text[lead] == '0') || (lead == 1 && *value == 0))
                trace->irregular.push_back({ordinal, std::string(text)});
            const std::vector<WrittenTime>* restore = trace->restore;
            if (restore && trace->restored < restore->size() && (*restore)[trace->restored].ordinal == ordinal) {
                const std::string& kept = (*restore)[trace->restored++].text;
                // Only a text of the same value: anything else is not the bytes it replaced.
                if (Thousandths(kept) == *value + delta) out.replace(written, std::string::npos, kept);
            }
        }
        copied = search = close;
    }
    out.append(bytes.substr(copied));
    return Outcome<void>::Success();
}

std::uint64_t Digest(std::string_view bytes) { return std::hash<std::string_view>{}(bytes); }

Outcome<void> CommitIfUnchanged(const std::string& temporary, const std::string& path, const FileIdentity& identity) {
    const std::optional<FileIdentity> now = IdentityOf(path);
    if (now != identity) {
        ::unlink(temporary.c_str());
        return Outcome<void>::Failure(Named(path) + " was changed by another program since it was read." +
                                      std::string(Unchanged));
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return Outcome<void>::Failure("Could not replace " + Named(path) + ": " + Reason(error) + "." +
                                      std::string(Unchanged));
    }
    return Outcome<void>::Success();
}

Outcome<void> WriteEdited(const ReadFile& file, std::string_view bytes, const EditFault& fault) {
    static std::atomic<unsigned> counter{0};
    // An edit replaces the file a link points to, not the link: the new file
    // is made beside the target and renamed over it.
    std::string target = file.path;
    if (char* real = ::realpath(file.path.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    std::filesystem::path folder = std::filesystem::path(target).parent_path();
    if (folder.empty()) folder = ".";
    const HeldStopSignals held;
    // The writers' lock from the first check to the rename: an add or another
    // edit waits, and none lands between the check and the rename.
    FileChange::Left left = FileChange::Left::AsItWas;
    Outcome<LockedScriptFile> locked = LockedScriptFile::Take(
        file.path, LockedScriptFile::Open::OnlyWhenThere, WindowLockWait,
        "The file is being written by another program; it was not changed.", &left, "to edit it");
    if (!locked)
        return Outcome<void>::Failure(locked.error() +
                                      (left == FileChange::Left::Busy ? "" : std::string(Unchanged)));
    if (IdentityOf(file.path) != file.identity)
        return Outcome<void>::Failure(Named(file.path) + " was changed by another program since it was read." +
                                      std::string(Unchanged));
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = (folder / (".tweenwright-edit-" + std::to_string(::getpid()) + "-" +
                               std::to_string(counter.fetch_add(1)) + ".tmp"))
                        .string();
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0)
        return Outcome<void>::Failure("Could not create a file beside " + Named(file.path) + ": " + Reason(errno) +
                                      "." + std::string(Unchanged));
    const auto fail = [&](const std::string& what, int error) {
        if (fd >= 0) ::close(fd);
        ::unlink(temporary.c_str());
        return Outcome<void>::Failure(what + Named(file.path) + (error ? ": " + Reason(error) : std::string()) +
                                      "." + std::string(Unchanged));
    };
    const auto injected = [&](EditStep step) { return fault && fault(step); };
    if (::fchmod(fd, file.identity.mode & 07777) != 0) return fail("Could not give the new file the mode of ", errno);
    if (injected(EditStep::Created)) return fail("The edit was stopped before writing ", 0);
    if (const int error = WriteAll(fd, bytes); error != 0) return fail("Could not write the edit of ", error);
    if (injected(EditStep::Written)) return fail("The edit was stopped before saving ", 0);
    if (::fdatasync(fd) != 0) return fail("Could not save the edit of ", errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) return fail("Could not finish writing the edit of ", errno);
    if (injected(EditStep::Synced) || injected(EditStep::BeforeRename))
        return fail("The edit was stopped before it replaced ", 0);
    if (Outcome<void> done = CommitIfUnchanged(temporary, target, file.identity); !done) return done;
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return Outcome<void>::Success();
}

Outcome<LoadedDocument> LoadBlockInto(const std::string& path, long number, DocumentTexts document) {
    using Result = Outcome<LoadedDocument>;
    if (number == -1) return LoadLastInto(path, std::move(document));
    const Outcome<BlockIndex> index = IndexFile(path);
    if (!index) return Result::Failure(index.error());
    ReadFile shape;
    shape.path = path;
    shape.index = index.value();
    const Outcome<std::size_t> k = BlockAt(shape, number, false);
    if (!k) return Result::Failure(k.error());
    document.activeFile = path;
    LoadControl control;
    // The last block reads to the file's end, as the last-block load does.
    if (k.value() + 1 < index.value().blocks.size()) control.fileEnd = index.value().blocks[k.value()].end();
    const Outcome<LoadedAnimation> loaded = LoadLastAnimationFromFile(path, document.names, {}, control);
    if (!loaded) return Result::Failure(loaded.error());
    LoadedDocument result;
    result.messages = LoadMessages(loaded.value());
    ApplyLoadedAnimation(loaded.value(), document);
    result.document = std::move(document);
    return Result::Success(std::move(result));
}

Outcome<BlockEdit> ReplaceBlock(const std::string& path, long number, const DocumentTexts& document,
                                const EditFault& fault) {
    using Result = Outcome<BlockEdit>;
    Outcome<ReadFile> file = ReadForEdit(path);
    if (!file) return Result::Failure(file.error());
    const ReadFile& f = file.value();
    const Outcome<std::size_t> k = BlockAt(f, number, true);
    if (!k) return Result::Failure(k.error());
    const BlockEntry& old = f.index.blocks[k.value()];
    Outcome<NewBlock> made = FormBlock(path, document, old.start);
    if (!made) return Result::Failure(made.error());
    BlockEdit edit;
    edit.block = k.value() + 1;
    edit.at = old.offset;
    edit.removed = f.bytes.substr(old.offset, old.length);
    edit.inserted = made.value().record;
    edit.finish = made.value().entry.finish;
    edit.nextStartTime = made.value().nextStartTime;
    const auto oldFinish = Thousandths(old.finish), newFinish = Thousandths(edit.finish);
    if (oldFinish && newFinish) edit.ripple = *newFinish - *oldFinish;
    RippleTrace trace;
    std::string bytes = Room(f, edit.inserted.size());
    bytes.append(f.bytes, 0, old.offset);
    bytes += edit.inserted;
    if (Outcome<void> later = RippledFrom(bytes, f, k.value() + 1, old.end(), edit.ripple, &trace); !later)
        return Result::Failure(later.error() + std::string(Unchanged));
    return Finish(f, std::move(bytes), std::move(edit), std::move(trace), fault);
}

Outcome<BlockEdit> InsertBlockBefore(const std::string& path, long number, const DocumentTexts& document,
                                     const EditFault& fault) {
    using Result = Outcome<BlockEdit>;
    Outcome<ReadFile> file = ReadForEdit(path);
    if (!file) return Result::Failure(file.error());
    const ReadFile& f = file.value();
    const Outcome<std::size_t> k = BlockAt(f, number, true);
    if (!k) return Result::Failure(k.error());
    const BlockEntry& before = f.index.blocks[k.value()];
    Outcome<NewBlock> made = FormBlock(path, document, before.start);
    if (!made) return Result::Failure(made.error());
    BlockEdit edit;
    edit.block = k.value() + 1;
    edit.at = before.offset;
    edit.inserted = made.value().record;
    edit.finish = made.value().entry.finish;
    edit.nextStartTime = made.value().nextStartTime;
    edit.ripple = Span(made.value().entry).value_or(0);
    RippleTrace trace;
    std::string bytes = Room(f, edit.inserted.size());
    bytes.append(f.bytes, 0, before.offset);
    bytes += edit.inserted;
    if (Outcome<void> later = RippledFrom(bytes, f, k.value(), before.offset, edit.ripple, &trace); !later)
        return Result::Failure(later.error() + std::string(Unchanged));
    return Finish(f, std::move(bytes), std::move(edit), std::move(trace), fault);
}

Outcome<BlockEdit> RemoveBlock(const std::string& path, long number, const EditFault& fault) {
    using Result = Outcome<BlockEdit>;
    Outcome<ReadFile> file = ReadForEdit(path);
    if (!file) return Result::Failure(file.error());
    const ReadFile& f = file.value();
    const Outcome<std::size_t> k = BlockAt(f, number, true);
    if (!k) return Result::Failure(k.error());
    const BlockEntry& gone = f.index.blocks[k.value()];
    BlockEdit edit;
    edit.block = k.value() + 1;
    edit.at = gone.offset;
    edit.removed = f.bytes.substr(gone.offset, gone.length);
    edit.ripple = -Span(gone).value_or(0);
    RippleTrace trace;
    std::string bytes = Room(f, 0);
    bytes.append(f.bytes, 0, gone.offset);
    if (Outcome<void> later = RippledFrom(bytes, f, k.value() + 1, gone.end(), edit.ripple, &trace); !later)
        return Result::Failure(later.error() + std::string(Unchanged));
    return Finish(f, std::move(bytes), std::move(edit), std::move(trace), fault);
}

std::string RemoveQuestion(const BlockEntry& block, std::size_t number, std::string_view file) {
    const std::string span =
        block.start.empty() ? "(it holds no frames)" : "(" + block.start + "\xE2\x80\x93" + block.finish + " s)";
    return "Remove block " + std::to_string(number) + " " + span + " from " + std::string(file) + "?";
}

}  // namespace tw
