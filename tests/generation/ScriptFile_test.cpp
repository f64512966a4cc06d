#include "generation/ScriptFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/file.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "TempFolder.h"

namespace fs = std::filesystem;

namespace {

class ScriptFileTest : public TempFolderTest {
protected:
    int Entries() const { return static_cast<int>(std::distance(fs::directory_iterator(folder), {})); }

    // Runs `write` in a child whose files may not grow past 4 KiB (a full
    // disk in small); SIGXFSZ is ignored so the write fails with EFBIG.
    // Returns true when the child saw the write fail with a message, which it
    // hands back in `message`.
    static bool FailsInFullDisk(const std::function<tw::Outcome<void>()>& write, std::string& message,
                                rlim_t room = 4096) {
        int pipe[2];
        if (::pipe(pipe) != 0) return false;
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(pipe[0]);
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{room, room};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            const tw::Outcome<void> result = write();
            if (!result.ok() && ::write(pipe[1], result.error().data(), result.error().size()) < 0)
                ::_exit(2);
            ::_exit(!result.ok() && !result.error().empty() ? 0 : 1);
        }
        ::close(pipe[1]);
        message.clear();
        char buffer[512];
        for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;) message.append(buffer, n);
        ::close(pipe[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    // The message of a write that failed for want of room, without any note
    // that the file could not be put back.
    static std::string NoRoom(const std::string& what, const fs::path& path) {
        return what + "\"" + path.string() + "\": " + std::generic_category().message(EFBIG) + ".";
    }
};

TEST_F(ScriptFileTest, AppendCreatesThenAddsRecords) {
    const fs::path file = folder / "talk.hap";
    ASSERT_TRUE(tw::AppendQuotedRecord(file, "one\r\n").ok());
    EXPECT_EQ(Read(file), "\"one\r\n\"\r\n");
    ASSERT_TRUE(tw::AppendQuotedRecord(file, "").ok());
    ASSERT_TRUE(tw::AppendQuotedRecord(file, "three").ok());
    EXPECT_EQ(Read(file), "\"one\r\n\"\r\n\"\"\r\n\"three\"\r\n");

    const std::string big(3'000'000, 'x');
    ASSERT_TRUE(tw::AppendQuotedRecord(file, big).ok());
    EXPECT_EQ(Read(file), "\"one\r\n\"\r\n\"\"\r\n\"three\"\r\n\"" + big + "\"\r\n");
}

TEST_F(ScriptFileTest, OpenFailuresNameTheFileAndCreateNothing) {
    Write(folder / "plain", "abc");
    fs::create_directory(folder / "sub");
    for (const fs::path& bad : {folder / "missing" / "a.hap", folder / "plain" / "a.hap", folder / "sub"}) {
        const tw::Outcome<void> result = tw::AppendQuotedRecord(bad, "block");
        EXPECT_FALSE(result.ok()) << bad;
        EXPECT_NE(result.error().find(bad.string()), std::string::npos) << result.error();
        EXPECT_FALSE(tw::ReplaceWithQuotedRecord(bad, "block").ok()) << bad;
    }
    EXPECT_EQ(Read(folder / "plain"), "abc");
    EXPECT_TRUE(fs::is_empty(folder / "sub"));
    EXPECT_EQ(Entries(), 2);
}

TEST_F(ScriptFileTest, FullDiskKeepsTheFileAsItWas) {
    const fs::path file = folder / "talk.hap";
    const std::string before = "\"earlier record\r\n" + std::string(1000, 'e') + "\r\n\"\r\n";
    Write(file, before);
    const std::string block(100'000, 'b');
    std::string message;
    EXPECT_TRUE(FailsInFullDisk([&] { return tw::AppendQuotedRecord(file, block); }, message));
    EXPECT_EQ(Read(file), before);
    EXPECT_EQ(message, NoRoom("Could not write the script to ", file));

    // A file the failed call made itself is removed again.
    const fs::path fresh = folder / "fresh.hap";
    EXPECT_TRUE(FailsInFullDisk([&] { return tw::AppendQuotedRecord(fresh, block); }, message));
    EXPECT_FALSE(fs::exists(fresh));
    EXPECT_EQ(message, NoRoom("Could not write the script to ", fresh));
    EXPECT_EQ(Entries(), 1);
}

// A record of many megabytes goes out in pieces of at most 8 MiB: every byte
// arrives in order through short writes, and a disk that fills after some
// pieces went out still leaves the file as it was.
TEST_F(ScriptFileTest, ALargeRecordGoesOutInPiecesAndAFailureAfterSomeStillCutsBack) {
    const fs::path file = folder / "long.hap";
    const std::string before = "\"earlier\"\r\n";
    Write(file, before);
    std::string block(20 << 20, 'x');
    for (std::size_t i = 0; i < block.size(); i += 4093) block[i] = static_cast<char>('a' + i % 26);
    std::vector<std::size_t> offered;
    const tw::GatheredWrite saved = tw::RecordWrite();
    tw::RecordWrite() = [&](int fd, const iovec* pieces, int count) {
        std::size_t total = 0;
        for (int i = 0; i < count; ++i) total += pieces[i].iov_len;
        offered.push_back(total);
        // Short writes of an odd length, ending inside a piece.
        iovec shorter[8];
        std::size_t room = 3'000'017;
        int taken = 0;
        for (int i = 0; i < count && room > 0; ++i, ++taken) {
            shorter[taken] = pieces[i];
            shorter[taken].iov_len = std::min(pieces[i].iov_len, room);
            room -= shorter[taken].iov_len;
        }
        return ::writev(fd, shorter, taken);
    };
    const tw::FileChange written = tw::AppendQuotedRecord(file, block);
    tw::RecordWrite() = saved;
    ASSERT_TRUE(written.ok()) << written.error();
    EXPECT_TRUE(Read(file) == before + "\"" + block + "\"\r\n");
    EXPECT_GT(offered.size(), std::size_t{6});
    EXPECT_LE(*std::max_element(offered.begin(), offered.end()), std::size_t{8} << 20);

    Write(file, before);
    std::string message;
    EXPECT_TRUE(FailsInFullDisk([&] { return tw::AppendQuotedRecord(file, block); }, message, 12 << 20));
    EXPECT_EQ(message, NoRoom("Could not write the script to ", file));
    EXPECT_EQ(Read(file), before);
}

TEST_F(ScriptFileTest, ReplaceWritesOneRecordAndKeepsPermissions) {
    const fs::path file = folder / "preview.hap";
    ASSERT_TRUE(tw::ReplaceWithQuotedRecord(file, "first").ok());
    EXPECT_EQ(Read(file), "\"first\"\r\n");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(tw::ReplaceWithQuotedRecord(file, "second\r\n").ok());
    EXPECT_EQ(Read(file), "\"second\r\n\"\r\n");
    EXPECT_EQ(fs::status(file).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(Entries(), 1);
}

TEST_F(ScriptFileTest, FailedReplaceLeavesTheOldFileAndNoTemporary) {
    const fs::path file = folder / "preview.hap";
    Write(file, "\"old\"\r\n");
    const std::string block(100'000, 'n');
    std::string message;
    EXPECT_TRUE(FailsInFullDisk([&] { return tw::ReplaceWithQuotedRecord(file, block); }, message));
    EXPECT_EQ(message, NoRoom("Could not write the script for ", file));
    EXPECT_EQ(Read(file), "\"old\"\r\n");
    EXPECT_EQ(Entries(), 1);
}

TEST_F(ScriptFileTest, PipesAndDevicesAreRefusedWithoutWaiting) {
    const fs::path pipe = folder / "pipe.hap", socket = folder / "socket.hap";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socket.string().copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    fs::create_directory(folder / "sub");
    ::alarm(10);  // a call that waits for a reader ends the test here
    const std::pair<fs::path, const char*> refused[] = {{pipe, "a pipe"},
                                                        {fs::path("/dev/null"), "a device"},
                                                        {socket, "a socket"},
                                                        {folder / "sub", "a folder"}};
    for (const auto& [bad, kind] : refused) {
        // The refusal says what the path is; the open's own error would not.
        const std::string refusal = "\"" + bad.string() + "\" is " + kind + ", not a file";
        const tw::Outcome<void> append = tw::AppendQuotedRecord(bad, "block");
        // A success has no message, so this fails as well.
        EXPECT_NE(append.error().find(bad.string()), std::string::npos);
        EXPECT_NE(append.error().find(refusal), std::string::npos) << append.error();
        const tw::Outcome<void> replace = tw::ReplaceWithQuotedRecord(bad, "block");
        EXPECT_FALSE(replace.ok()) << bad;
        EXPECT_NE(replace.error().find(refusal), std::string::npos) << replace.error();
    }
    ::alarm(0);
    ::close(listener);
    EXPECT_EQ(fs::status(pipe).type(), fs::file_type::fifo);
    EXPECT_EQ(fs::status(socket).type(), fs::file_type::socket);
}

TEST_F(ScriptFileTest, StopSignalMidWriteLeavesNoTornRecord) {
    const fs::path file = folder / "long.hap";
    const std::string before = "\"earlier record\"\r\n";
    Write(file, before);
    const std::string block(96'000'000, 'w');
    const pid_t child = ::fork();
    if (child == 0) {
        // The parent judges the file; the child only writes.
        (void)tw::AppendQuotedRecord(file, block);
        ::_exit(0);
    }
    // Stop the child as soon as its write has begun.
    while (fs::file_size(file) == before.size()) {
        if (::waitpid(child, nullptr, WNOHANG) != 0) break;
    }
    ::kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    // The stop still takes effect, once the write in hand is done.
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    const std::string after = Read(file);
    EXPECT_TRUE(after == before || after == before + "\"" + block + "\"\r\n") << after.size();
}

// Puts a record writer in place for one test and the plain one back after.
class ReplacedRecordWrite {
public:
    explicit ReplacedRecordWrite(tw::GatheredWrite write) : saved_(std::move(tw::RecordWrite())) {
        tw::RecordWrite() = std::move(write);
    }
    ~ReplacedRecordWrite() { tw::RecordWrite() = std::move(saved_); }

private:
    tw::GatheredWrite saved_;
};

ssize_t PlainWritev(int fd, const iovec* pieces, int count) { return ::writev(fd, pieces, count); }

TEST_F(ScriptFileTest, FailedAppendCutsBackOnlyItsOwnBytesWhileAnotherWriterWaits) {
    const fs::path file = folder / "shared.hap";
    const std::string before = "\"earlier record\"\r\n";
    Write(file, before);

    // The first write puts out part of its record, then a second writer
    // starts and must wait for the lock; only then does the write fail.
    std::atomic<bool> first{true}, otherDone{false};
    std::thread other;
    tw::FileChange otherResult = tw::FileChange::Success();
    bool otherWaited = false;
    const ReplacedRecordWrite failing([&](int fd, const iovec* pieces, int count) -> ssize_t {
        if (!first.exchange(false)) return PlainWritev(fd, pieces, count);
        const ssize_t part = ::write(fd, pieces[0].iov_base, pieces[0].iov_len);
        if (part <= 0 || ::write(fd, "half a block", 12) != 12) return -1;
        other = std::thread([&] {
            otherResult = tw::AppendQuotedRecord(file, "the other record");
            otherDone = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        otherWaited = !otherDone;
        errno = ENOSPC;
        return -1;
    });
    const tw::FileChange failed = tw::AppendQuotedRecord(file, std::string(50'000, 'b'));
    other.join();

    EXPECT_TRUE(otherWaited);
    EXPECT_FALSE(failed.ok());
    EXPECT_EQ(failed.left(), tw::FileChange::Left::AsItWas);
    EXPECT_EQ(failed.error(), "Could not write the script to \"" + file.string() +
                                  "\": " + std::generic_category().message(ENOSPC) + ".");
    EXPECT_TRUE(otherResult.ok()) << otherResult.error();
    EXPECT_EQ(Read(file), before + "\"the other record\"\r\n");
}

TEST_F(ScriptFileTest, WritersOfAnotherProcessAreWaitedForOrReportedBusy) {
    const fs::path file = folder / "shared.hap";
    Write(file, "");
    // A child writes its record slowly, holding the lock; it says on the pipe
    // when its write has begun.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ready[0]);
        const ReplacedRecordWrite slow([&](int fd, const iovec* pieces, int count) -> ssize_t {
            if (::write(ready[1], "w", 1) != 1) ::_exit(3);
            std::this_thread::sleep_for(std::chrono::milliseconds(800));
            return PlainWritev(fd, pieces, count);
        });
        ::_exit(tw::AppendQuotedRecord(file, "child").ok() ? 0 : 1);
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);

    const auto start = std::chrono::steady_clock::now();
    const tw::FileChange busy = tw::AppendQuotedRecord(file, "too soon", std::chrono::milliseconds(100));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(700));
    EXPECT_EQ(busy.left(), tw::FileChange::Left::Busy);
    EXPECT_EQ(busy.error(), tw::BusyAddMessage);

    const tw::FileChange waited = tw::AppendQuotedRecord(file, "after", std::chrono::seconds(10));
    EXPECT_TRUE(waited.ok()) << waited.error();
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(Read(file), "\"child\"\r\n\"after\"\r\n");
}

TEST_F(ScriptFileTest, FreshFileRemovedByAFailedWriterIsMadeAgainByTheOneWaiting) {
    const fs::path file = folder / "fresh.hap";
    std::atomic<bool> first{true};
    std::thread other;
    tw::FileChange otherResult = tw::FileChange::Success();
    const ReplacedRecordWrite failing([&](int fd, const iovec* pieces, int count) -> ssize_t {
        if (!first.exchange(false)) return PlainWritev(fd, pieces, count);
        other = std::thread([&] { otherResult = tw::AppendQuotedRecord(file, "second"); });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        errno = EIO;
        return -1;
    });
    EXPECT_FALSE(tw::AppendQuotedRecord(file, "first").ok());
    other.join();
    // The waiting writer had the removed file open; it writes to the new one.
    EXPECT_TRUE(otherResult.ok()) << otherResult.error();
    EXPECT_EQ(Read(file), "\"second\"\r\n");
    EXPECT_EQ(Entries(), 1);
}

}  // namespace
