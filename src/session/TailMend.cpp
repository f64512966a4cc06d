#include "session/TailMend.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>

#include "generation/FileMessages.h"
#include "generation/HeldStopSignals.h"
#include "generation/TornTail.h"
#include "reading/FileBytes.h"
#include "reading/LastAnimationLoader.h"
#include "session/KeptFile.h"

namespace tw {

// The unfinished record is looked for as far back as a load reads a last one.
static_assert(MaxTornTailBytes == MaxLoadBytes);

namespace {

using file_messages::Named;
using file_messages::Reason;

std::atomic<unsigned> keptCount{0};

}  // namespace

Outcome<std::optional<Mended>> MendTornTail(const std::string& path,
                                            const std::function<Outcome<std::string>()>& keepFolder,
                                            std::chrono::milliseconds wait) {
    using Result = Outcome<std::optional<Mended>>;
    const std::string unchanged = " The file was not changed.";
    const HeldStopSignals held;
    FileChange::Left left = FileChange::Left::AsItWas;
    Outcome<LockedScriptFile> locked = LockedScriptFile::Take(
        path, LockedScriptFile::Open::OnlyWhenThere, wait,
        "The file is being written by another program; nothing was cut off.", &left, "to mend it");
    if (!locked) return Result::Failure(locked.error());
    const int fd = locked.value().fd();
    const std::uint64_t length = locked.value().length();
    if (length == 0) return Result::Success(std::nullopt);
    const Outcome<std::optional<TornTail>> torn = FindTornTail(fd, length);
    if (!torn)
        return Result::Failure("Could not read " + Named(path) + ": " + torn.error() + "." + unchanged);
    if (!torn.value()) return Result::Success(std::nullopt);
    const TornTail tail = *torn.value();

    const Outcome<std::string> folder = keepFolder();
    if (!folder) {
        return Result::Failure("The unfinished animation was not cut off, because it could not be kept: " +
                               folder.error() + unchanged);
    }
    std::string bytes(static_cast<std::size_t>(tail.length), '\0');
    if (const int error = ReadExactlyAt(fd, bytes.data(), bytes.size(), tail.start); error != 0)
        return Result::Failure("Could not read " + Named(path) + ": " + Reason(error < 0 ? EIO : error) +
                               "." + unchanged);
    std::string name = std::filesystem::path(path).filename().string();
    if (name.size() > 160) name.erase(0, name.size() - 160);
    Mended mended;
    mended.bytes = tail.length;
    mended.keptFile = folder.value() + "/torn-" + std::to_string(::getpid()) + "-" +
                      std::to_string(keptCount.fetch_add(1) + 1) + "-" + name;
    if (const int error = WriteKeptFile(mended.keptFile, bytes); error != 0) {
        return Result::Failure("The unfinished animation was not cut off, because it could not be kept in " +
                               Named(mended.keptFile) + ": " + Reason(error) + "." + unchanged);
    }
    if (::ftruncate(fd, static_cast<off_t>(tail.start)) != 0) {
        const int error = errno;
        ::unlink(mended.keptFile.c_str());
        return Result::Failure("Could not cut the unfinished animation off " + Named(path) + ": " +
                               Reason(error) + "." + unchanged);
    }
    if (::fdatasync(fd) != 0) {
        // The cut bytes stay kept: whether the cut reached the disk is not known.
        return Result::Failure("Could not save the cut of " + Named(path) + " to the disk: " + Reason(errno) +
                               ". Its unfinished animation is kept in " + Named(mended.keptFile) + ".");
    }
    (void)locked.value().Close();
    return Result::Success(std::move(mended));
}

std::string MendReport(const std::string& path, const Mended& mended) {
    return "Cut off the " + GroupedDigits(mended.bytes) + " bytes of the unfinished last animation of " +
           Named(path) + "; they are kept in " + Named(mended.keptFile) + ".";
}

Outcome<std::optional<std::uint64_t>> TornTailOf(const std::string& path) {
    using Result = Outcome<std::optional<std::uint64_t>>;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Result::Failure("Could not read " + Named(path) + ": " + Reason(errno) + ".");
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return Result::Success(std::nullopt);  // the look-up that follows says what it is
    }
    const Outcome<std::optional<TornTail>> torn = FindTornTail(fd, static_cast<std::uint64_t>(info.st_size));
    ::close(fd);
    if (!torn) return Result::Failure("Could not read " + Named(path) + ": " + torn.error() + ".");
    if (!torn.value()) return Result::Success(std::nullopt);
    return Result::Success(torn.value()->length);
}

}  // namespace tw
