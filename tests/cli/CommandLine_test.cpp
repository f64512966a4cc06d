// The command line in process: its subcommands against the core's own runs
// over many documents, every failure leaving the file as it was, and the
// usage rules.
#include "cli/CommandLine.h"
#include "cli/RunCommandLine.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

#include "cli/StartupDocument.h"
#include "document/DocumentJson.h"
#include "document/NumberText.h"
#include "generation/GenerationRun.h"
#include "generation/ScriptFile.h"
#include "reading/LastAnimationLoader.h"
#include "session/ScriptCommands.h"
#include "support/RandomDocument.h"

namespace fs = std::filesystem;

namespace {

std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void Write(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

class CommandLineTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tw-cli-" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Json(const tw::DocumentTexts& doc, const std::string& name = "doc.json") {
        Write(dir_ / name, tw::DocumentToJson(doc));
        return (dir_ / name).string();
    }

    fs::path dir_;
};

TEST_F(CommandLineTest, GenerateAppendsWhatTheCoreRunAppendsOverManyDocuments) {
    tw::test::RandomDocuments documents(18);
    for (int n = 0; n < 150; ++n) {
        tw::DocumentTexts doc = documents.Next(true);
        SCOPED_TRACE("document " + std::to_string(n) + ":\n" + tw::DocumentToJson(doc));
        const fs::path expected = dir_ / "expected.hap", actual = dir_ / "actual.hap";
        // Half of the runs append to a file that already holds a block.
        fs::remove(expected), fs::remove(actual);
        if (n % 2) Write(expected, "\"earlier\"\r\n"), Write(actual, "\"earlier\"\r\n");
        doc.activeFile = expected.string();
        const auto block = tw::BlockFor(tw::BlockDestination::File, doc);
        ASSERT_TRUE(block.ok()) << block.error();
        ASSERT_TRUE(tw::AppendQuotedRecord(expected, block.value().text).ok());

        // Once through the document's own active file, once through --append.
        doc.activeFile = n % 3 ? actual.string() : "elsewhere.hap";
        const std::string json = Json(doc);
        const Ran ran = n % 3 ? Tw({"generate", json}) : Tw({"generate", json, "--append", actual.string()});
        ASSERT_EQ(ran.status, 0) << ran.err;
        EXPECT_EQ(ran.err, "");
        EXPECT_EQ(ran.out, doc.finishTime + "\n");
        ASSERT_EQ(Bytes(actual), Bytes(expected));

        const Ran clip = Tw({"generate", json, "--clipboard-text"});
        ASSERT_EQ(clip.status, 0) << clip.err;
        EXPECT_EQ(clip.out, tw::BlockFor(tw::BlockDestination::Clipboard, doc).value().text);
    }
    EXPECT_FALSE(fs::exists("elsewhere.hap"));
}

// The value of `text` to the three decimals a block writes.
double AsWritten(const std::string& text) { return std::round(tw::NumericValue(text) * 1000) / 1000; }

TEST_F(CommandLineTest, LoadLastAfterGenerateGivesBackTheKeyframes) {
    tw::test::RandomDocuments documents(7);
    int checked = 0;
    for (int n = 0; checked < 40; ++n) {
        tw::DocumentTexts doc = documents.Next();
        // Only whole frame counts end exactly on the final keyframe.
        const double frames = tw::NumericValue(doc.dKeyframe) * tw::NumericValue(doc.framesPSec);
        if (frames < 1 || frames != std::floor(frames)) continue;
        // The loader never recognises lines that name a figure.
        doc.figure.clear();
        ++checked;
        const fs::path file = dir_ / ("round" + std::to_string(n) + ".hap");
        Write(file, "\"an earlier block\"\r\n");
        doc.activeFile = file.string();
        SCOPED_TRACE(tw::DocumentToJson(doc));
        ASSERT_EQ(Tw({"generate", Json(doc)}).status, 0);

        // Loaded over a document whose values are all different.
        tw::DocumentTexts other = tw::StartupDocument();
        other.names = doc.names;
        other.initial.fill("9");
        other.final.fill("-9");
        const Ran loaded = Tw({"load-last", file.string(), "--document", Json(other, "other.json")});
        ASSERT_EQ(loaded.status, 0) << loaded.err;
        EXPECT_EQ(loaded.err, "");
        const auto back = tw::DocumentFromJson(loaded.out, tw::StartupDocument());
        ASSERT_TRUE(back.ok()) << back.error();
        const tw::DocumentTexts& got = back.value();
        EXPECT_EQ(got.activeFile, file.string());
        EXPECT_EQ(tw::NumericValue(got.startTime), AsWritten(doc.startTime));
        EXPECT_NEAR(tw::NumericValue(got.dKeyframe), tw::NumericValue(doc.dKeyframe), 0.0015);
        EXPECT_EQ(got.finishTime, tw::FinishTimeText(got.startTime, got.dKeyframe));
        for (int r = 0; r < tw::RegisterCount; ++r) {
            // Values pass through single precision on their way to the file.
            EXPECT_NEAR(tw::NumericValue(got.initial[r]), AsWritten(doc.initial[r]), 0.0011) << r;
            EXPECT_NEAR(tw::NumericValue(got.final[r]), AsWritten(doc.final[r]), 0.0011) << r;
        }
        EXPECT_EQ(got.names, doc.names);
        EXPECT_EQ(got.acceleration, "0");  // from the other document, untouched
    }
}

TEST_F(CommandLineTest, LoadLastReportsUnknownNamesOnePerLine) {
    tw::DocumentTexts doc = tw::StartupDocument();
    doc.names[3] = "Custom3";
    doc.names[50] = "Custom50";
    doc.activeFile = (dir_ / "named.hap").string();
    ASSERT_EQ(Tw({"generate", Json(doc)}).status, 0);
    const Ran loaded = Tw({"load-last", doc.activeFile});
    ASSERT_EQ(loaded.status, 0);
    const auto direct = tw::LoadLastAnimationFromFile(doc.activeFile, tw::StartupDocument().names);
    ASSERT_TRUE(direct.ok());
    std::string messages;
    for (const std::string& m : tw::LoadMessages(direct.value())) messages += m + "\n";
    EXPECT_NE(messages.find("Custom3"), std::string::npos);
    EXPECT_EQ(loaded.err, messages);
}

TEST_F(CommandLineTest, EveryFailureExitsOneAndLeavesTheFileAsItWas) {
    const fs::path file = dir_ / "kept.hap";
    const std::string before = "\"#Haptek block\"\r\n";
    tw::DocumentTexts good = tw::StartupDocument();
    good.activeFile = file.string();

    struct Case {
        const char* what;
        std::function<void(tw::DocumentTexts&)> change;
    };
    const Case documents[] = {
        {"a bad number", [](auto& d) { d.initial[5] = "1.2.3"; }},
        {"a bad duration", [](auto& d) { d.dKeyframe = "1s"; }},
        {"no frames at all", [](auto& d) { d.framesPSec = "0"; }},
        {"a line break in a name", [](auto& d) { d.names[7] = "Head\nBend"; }},
        {"a line break in the figure", [](auto& d) { d.figure = "a\rb"; }},
        {"a character outside the code page", [](auto& d) { d.subHeader = "\xE5\xAD\x97"; }},
        {"an empty name", [](auto& d) { d.names[0] = "  "; }},
    };
    for (const Case& c : documents) {
        SCOPED_TRACE(c.what);
        Write(file, before);
        tw::DocumentTexts doc = good;
        c.change(doc);
        const auto expected = tw::RunDocument(tw::BlockDestination::File, doc);
        ASSERT_FALSE(expected.ok());
        const Ran ran = Tw({"generate", Json(doc)});
        EXPECT_EQ(ran.status, 1);
        EXPECT_EQ(ran.out, "");
        EXPECT_EQ(ran.err, expected.error() + "\n");
        EXPECT_EQ(Bytes(file), before);
    }

    // No active file, and a file that cannot be written.
    tw::DocumentTexts none = good;
    none.activeFile.clear();
    Ran ran = Tw({"generate", Json(none)});
    EXPECT_EQ(ran.status, 1);
    EXPECT_EQ(ran.err, std::string(tw::NoFileToAppendMessage) + "\n");
    fs::create_directory(dir_ / "folder.hap");
    ran = Tw({"generate", Json(good), "--append", (dir_ / "folder.hap").string()});
    EXPECT_EQ(ran.status, 1);
    EXPECT_TRUE(ran.err.starts_with("The animation was not added.\n")) << ran.err;
    EXPECT_TRUE(fs::is_empty(dir_ / "folder.hap"));
    ran = Tw({"generate", Json(good), "--append", (dir_ / "no/such/folder.hap").string()});
    EXPECT_EQ(ran.status, 1);

    // Documents that are not documents.
    const std::pair<const char*, const char*> texts[] = {
        {"{\"startTime\": 1}", "\"startTime\""},
        {"{\"headTilt\": \"1\"}", "\"headTilt\""},
        {"{\"names\": [\"a\"]}", "\"names\""},
        {"{\"final\": \"0\"}", "\"final\""},
        {"[1, 2]", "object"},
        {"{\"startTime\": ", "JSON"},
        {"", "JSON"},
    };
    for (const auto& [text, named] : texts) {
        SCOPED_TRACE(text);
        Write(dir_ / "bad.json", text);
        ran = Tw({"generate", (dir_ / "bad.json").string(), "--append", file.string()});
        EXPECT_EQ(ran.status, 1);
        EXPECT_NE(ran.err.find(named), std::string::npos) << ran.err;
        EXPECT_EQ(Bytes(file), before);
        ran = Tw({"load-last", file.string(), "--document", (dir_ / "bad.json").string()});
        EXPECT_EQ(ran.status, 1);
        EXPECT_EQ(ran.out, "");
    }
    ran = Tw({"generate", (dir_ / "missing.json").string(), "--append", file.string()});
    EXPECT_EQ(ran.status, 1);
    EXPECT_NE(ran.err.find("missing.json"), std::string::npos) << ran.err;
    EXPECT_EQ(Bytes(file), before);

    // Loading: no file, a missing file, a folder.
    for (const std::string& name : {std::string(), (dir_ / "missing.hap").string(), dir_.string()}) {
        ran = Tw({"load-last", name});
        EXPECT_EQ(ran.status, 1) << name;
        EXPECT_EQ(ran.out, "");
        EXPECT_NE(ran.err, "");
    }
    EXPECT_EQ(Tw({"load-last", ""}).err, std::string(tw::NoFileToLoadMessage) + "\n");
}

TEST_F(CommandLineTest, UsageHelpAndVersion) {
    for (const std::vector<std::string>& wrong : {std::vector<std::string>{"--bogus"},
                                                  {"generate"},
                                                  {"generate", "d.json", "--clipboard-text", "--append", "x"},
                                                  {"load-last"},
                                                  {"generate", "d.json", "--bogus"},
                                                  {"a.hap", "b.hap"}}) {
        const Ran ran = Tw(wrong);
        EXPECT_EQ(ran.status, 2) << wrong.front();
        EXPECT_EQ(ran.out, "");
        EXPECT_NE(ran.err.find("--help"), std::string::npos) << ran.err;
    }
    const Ran help = Tw({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"generate", "load-last", "FILE", "--version"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    EXPECT_NE(Tw({"generate", "--help"}).out.find("--clipboard-text"), std::string::npos);
    const Ran version = Tw({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.starts_with("tweenwright ")) << version.out;
}

TEST_F(CommandLineTest, AnythingElseOpensTheWindow) {
    Ran ran = Tw({});
    EXPECT_EQ(ran.status, -1);
    EXPECT_FALSE(ran.file);
    ran = Tw({"walk.hap"});
    EXPECT_EQ(ran.status, -1);
    EXPECT_EQ(ran.file, "walk.hap");
    ran = Tw({"--", "-odd.hap"});
    EXPECT_EQ(ran.file, "-odd.hap");
}

// The command users run starts without Qt: it runs the subcommands that need
// neither Qt nor FFmpeg itself, as the full command line runs them, and
// leaves the window, render, --help and --version to the full program.
TEST_F(CommandLineTest, TheStartingCommandRunsTheCoreSubcommandsAndLeavesTheRest) {
    const auto core = [](std::vector<std::string> args) {
        args.insert(args.begin(), "tweenwright");
        std::vector<const char*> argv;
        for (const std::string& a : args) argv.push_back(a.c_str());
        std::ostringstream out, err;
        const tw::CommandLine command =
            tw::RunCommandLineWith(static_cast<int>(argv.size()), argv.data(), out, err, {});
        return Ran{command.exitStatus.value_or(-1), out.str(), err.str(), command.file};
    };
    for (const std::vector<std::string>& elsewhere :
         {std::vector<std::string>{}, {"walk.hap"}, {"render", "walk.hap", "-o", "walk.mp4"}, {"--help"},
          {"--version"}, {"walk.hap", "--speech", "lines.wav"}, {"bogus-command"}}) {
        const Ran ran = core(elsewhere);
        EXPECT_EQ(ran.status, -1) << (elsewhere.empty() ? "" : elsewhere.front());
        EXPECT_FALSE(ran.file);
        EXPECT_EQ(ran.out + ran.err, "");
    }
    const fs::path file = dir_ / "walk.hap";
    const std::string document = (dir_ / "doc.json").string();
    std::ofstream(document) << R"({"dKeyframe": "1", "framesPSec": "4", "final": {"HeadForward": "-0.3"}})";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"generate", document, "--append", file.string()}, {"load-last", file.string()},
          {"blocks", file.string()}, {"load-block", file.string(), "1"}, {"generate"}}) {
        const Ran ours = core(args), full = Tw(args);
        EXPECT_NE(ours.status, -1) << args.front();
        EXPECT_EQ(ours.status, full.status) << args.front();
        EXPECT_EQ(ours.out, full.out) << args.front();
        EXPECT_EQ(ours.err, full.err) << args.front();
    }
}

TEST_F(CommandLineTest, TheSpeechTrackOptionsGoWithTheFile) {
    const char* argv[] = {"tweenwright", "walk.hap", "--speech", "lines.wav", "--speech-offset", "-1.25"};
    std::ostringstream out, err;
    const tw::CommandLine command = tw::RunCommandLine(6, argv, out, err);
    EXPECT_FALSE(command.exitStatus);
    EXPECT_EQ(command.file, "walk.hap");
    EXPECT_EQ(command.speech, "lines.wav");
    EXPECT_EQ(command.speechOffset, -1.25);
    const char* plain[] = {"tweenwright", "walk.hap", "--speech", "lines.wav"};
    EXPECT_EQ(tw::RunCommandLine(4, plain, out, err).speechOffset, 0);
    // Without a file, without a sound, or a wrong offset: usage errors.
    for (const std::vector<std::string>& wrong :
         {std::vector<std::string>{"--speech", "lines.wav"}, {"walk.hap", "--speech-offset", "2"},
          {"walk.hap", "--speech", "l.wav", "--speech-offset", "soon"},
          {"walk.hap", "--speech", "l.wav", "--speech-offset", "1e9"}, {"walk.hap", "--speech"}}) {
        const Ran ran = Tw(wrong);
        EXPECT_EQ(ran.status, 2) << wrong.back();
        EXPECT_NE(ran.err.find("--help"), std::string::npos) << ran.err;
    }
}

TEST_F(CommandLineTest, GenerateWaitsForAnotherWritersLockThenSaysTheFileIsBusy) {
    const fs::path file = dir_ / "shared.hap";
    const std::string before = "\"#Haptek block\"\r\n";
    Write(file, before);
    tw::DocumentTexts doc = tw::StartupDocument();
    doc.activeFile = file.string();
    const std::string json = Json(doc);

    // Another writer holds the lock on its own descriptor of the file.
    const int other = ::open(file.c_str(), O_RDWR);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    auto start = std::chrono::steady_clock::now();
    Ran ran = Tw({"generate", json, "--wait", "0.3"});
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(ran.status, 1);
    EXPECT_EQ(ran.out, "");
    EXPECT_EQ(ran.err, std::string(tw::BusyAddMessage) + "\n");
    EXPECT_GE(waited, std::chrono::milliseconds(300));
    EXPECT_LT(waited, std::chrono::seconds(3));
    EXPECT_EQ(Bytes(file), before);

    // Let go while the next one waits: it adds its record after the wait.
    // The clock starts before the releasing thread, so the lock is held for
    // at least 400 ms of it.
    start = std::chrono::steady_clock::now();
    std::thread release([other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        ::close(other);
    });
    ran = Tw({"generate", json});
    release.join();
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
    const auto block = tw::BlockFor(tw::BlockDestination::File, doc);
    EXPECT_EQ(Bytes(file), before + "\"" + block.value().text + "\"\r\n");

    for (const char* wrong : {"-1", "soon", ""}) {
        ran = Tw({"generate", json, "--wait", wrong});
        EXPECT_EQ(ran.status, 2) << wrong;
    }
}

}  // namespace

namespace {

// The command line run in a process of its own (forked, so the test needs no
// program file): its exit status or the signal that ended it, what it wrote,
// and `feed` writing its standard input until it ends or stops reading.
struct Forked {
    bool exited = false;  // false: ended by a signal
    int status = -1;      // the exit status, or the signal
    std::string out, err;
};

// `parentOnly` are descriptors the child closes first (a lock held on one
// stays with its description, which the child would otherwise share).
Forked RunForked(const std::vector<std::string>& args, const fs::path& dir,
                 const std::function<void(int fd)>& feed = {},
                 const std::function<void(pid_t)>& meanwhile = {}, const std::vector<int>& parentOnly = {}) {
    int input[2];
    if (::pipe(input) != 0) return {};
    const fs::path out = dir / "forked.out", err = dir / "forked.err";
    const pid_t child = ::fork();
    if (child == 0) {
        for (const int fd : parentOnly) ::close(fd);
        ::dup2(input[0], 0);
        ::close(input[0]);
        ::close(input[1]);
        int status;
        {
            std::ofstream o(out, std::ios::binary), e(err, std::ios::binary);
            std::vector<std::string> full = args;
            full.insert(full.begin(), "tweenwright");
            std::vector<const char*> argv;
            for (const std::string& a : full) argv.push_back(a.c_str());
            status =
                tw::RunCommandLine(static_cast<int>(argv.size()), argv.data(), o, e).exitStatus.value_or(-1);
        }
        ::_exit(status);
    }
    ::close(input[0]);
    const auto previous = ::signal(SIGPIPE, SIG_IGN);
    if (feed) feed(input[1]);
    ::close(input[1]);
    if (meanwhile) meanwhile(child);
    int raw = 0;
    ::waitpid(child, &raw, 0);
    ::signal(SIGPIPE, previous);
    Forked result;
    result.exited = WIFEXITED(raw);
    result.status = result.exited ? WEXITSTATUS(raw) : WTERMSIG(raw);
    result.out = Bytes(out);
    result.err = Bytes(err);
    return result;
}

TEST_F(CommandLineTest, HostileDocumentsEndInAMessageNeverInASignal) {
    const fs::path file = dir_ / "kept.hap";
    const std::string before = "\"#Haptek block\"\r\n";
    Write(file, before);
    const std::string digits(10 << 20, '7');
    const std::string documents[] = {
        R"({"startTime":1e400})",         R"({"initial":[-1e400]})",        R"({"unknownKey":1e400})",
        "{\"startTime\":" + digits + "}", R"({"figure":"a","figure":"b"})",
    };
    for (const std::string& text : documents) {
        SCOPED_TRACE(text.substr(0, 60));
        Write(dir_ / "hostile.json", text);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"generate", (dir_ / "hostile.json").string(), "--append",
                                       file.string()},
              {"load-last", file.string(), "--document", (dir_ / "hostile.json").string()}}) {
            const Forked ran = RunForked(args, dir_);
            EXPECT_TRUE(ran.exited) << "signal " << ran.status;
            EXPECT_EQ(ran.status, 1);
            EXPECT_EQ(ran.out, "");
            // One line naming the key, never the hostile text itself.
            EXPECT_LT(ran.err.size(), 300u) << ran.err.substr(0, 300);
            EXPECT_NE(ran.err.find(text.find("figure") != std::string::npos       ? "\"figure\""
                                   : text.find("unknownKey") != std::string::npos ? "\"unknownKey\""
                                   : text.find("initial") != std::string::npos    ? "\"initial\""
                                                                                  : "\"startTime\""),
                      std::string::npos)
                << ran.err;
        }
        EXPECT_EQ(Bytes(file), before);
    }
    // The same from standard input.
    const Forked piped = RunForked({"generate", "-", "--append", file.string()}, dir_, [](int fd) {
        const std::string text = R"({"startTime":1e400})";
        (void)!::write(fd, text.data(), text.size());
    });
    EXPECT_TRUE(piped.exited);
    EXPECT_EQ(piped.status, 1);
    EXPECT_NE(piped.err.find("\"startTime\""), std::string::npos) << piped.err;
    EXPECT_EQ(Bytes(file), before);
}

TEST_F(CommandLineTest, AnEndlessStandardInputIsRefusedAtItsCap) {
    const fs::path file = dir_ / "kept.hap";
    Write(file, "");
    std::uint64_t fed = 0;
    const Forked ran = RunForked({"generate", "-", "--append", file.string()}, dir_, [&fed](int fd) {
        const std::string blanks(1 << 16, ' ');
        // Blanks until the reader stops reading (or far past any cap).
        while (fed < (std::uint64_t{512} << 20)) {
            const ssize_t written = ::write(fd, blanks.data(), blanks.size());
            if (written <= 0) break;
            fed += static_cast<std::uint64_t>(written);
        }
    });
    EXPECT_TRUE(ran.exited) << "signal " << ran.status;
    EXPECT_EQ(ran.status, 1);
    EXPECT_NE(ran.err.find("larger than 64 MB"), std::string::npos) << ran.err;
    // It stopped reading soon after the cap, not at the end of the stream.
    EXPECT_LT(fed, std::uint64_t{80} << 20);
    EXPECT_GT(fed, std::uint64_t{64} << 20);
    EXPECT_EQ(Bytes(file), "");
}

TEST_F(CommandLineTest, AnEmptyAppendNameIsAUsageErrorAndALinkToNothingIsSaidToBeOne) {
    const fs::path own = dir_ / "own.hap";
    tw::DocumentTexts doc = tw::StartupDocument();
    doc.activeFile = own.string();
    const std::string json = Json(doc);
    Ran ran = Tw({"generate", json, "--append", ""});
    EXPECT_EQ(ran.status, 2);
    EXPECT_NE(ran.err.find("--append"), std::string::npos) << ran.err;
    EXPECT_FALSE(fs::exists(own));

    const fs::path link = dir_ / "dangling.hap";
    fs::create_symlink(dir_ / "gone" / "target.hap", link);
    ran = Tw({"generate", json, "--append", link.string()});
    EXPECT_EQ(ran.status, 1);
    EXPECT_NE(ran.err.find("symbolic link that points nowhere"), std::string::npos) << ran.err;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_FALSE(fs::exists(own));
}

}  // namespace

namespace {

// Whether process `pid` has `signal` in the given mask line of its status
// ("SigBlk:" held, "SigCgt:" caught).
bool InMask(pid_t pid, const std::string& line, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string text; std::getline(status, text);) {
        if (!text.starts_with(line)) continue;
        const unsigned long long mask = std::stoull(text.substr(line.size()), nullptr, 16);
        return (mask >> (signal - 1)) & 1;
    }
    return false;
}

TEST_F(CommandLineTest, RepairCutsAnUnfinishedLastAnimationAndKeepsIt) {
    const fs::path file = dir_ / "torn.hap";
    tw::DocumentTexts doc = tw::StartupDocument();
    doc.activeFile = file.string();
    ASSERT_EQ(Tw({"generate", Json(doc)}).status, 0);
    const std::string whole = Bytes(file);
    const std::string cut = "\"#Haptek  Version= 2.00\r\n\r\n\\clock [t= 0.0";
    const std::string torn = whole + cut;
    Write(file, torn);
    // generate refuses, naming the torn bytes' length.
    Ran ran = Tw({"generate", Json(doc)});
    EXPECT_EQ(ran.status, 1);
    EXPECT_NE(ran.err.find("its last " + std::to_string(cut.size()) + " bytes"), std::string::npos)
        << ran.err;
    EXPECT_EQ(Bytes(file), torn);

    ran = Tw({"repair", file.string()});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_TRUE(ran.out.starts_with("Cut off the " + std::to_string(cut.size()) +
                                    " bytes of the unfinished last animation of "))
        << ran.out;
    EXPECT_EQ(Bytes(file), whole);
    // The bytes are where it says.
    const std::size_t kept = ran.out.rfind("kept in \"");
    ASSERT_NE(kept, std::string::npos);
    const std::string keptFile = ran.out.substr(kept + 9, ran.out.size() - kept - 9 - 3);
    EXPECT_EQ(Bytes(keptFile), torn.substr(whole.size()));
    fs::remove(keptFile);

    ran = Tw({"repair", file.string()});
    EXPECT_EQ(ran.status, 0);
    EXPECT_NE(ran.out.find("nothing was cut off"), std::string::npos) << ran.out;
    EXPECT_EQ(Bytes(file), whole);
    EXPECT_EQ(Tw({"generate", Json(doc)}).status, 0);
    EXPECT_EQ(Tw({"repair", (dir_ / "missing.hap").string()}).status, 1);
    EXPECT_EQ(Tw({"repair"}).status, 2);
}

TEST_F(CommandLineTest, ASigtermDuringGenerateReportsAWholeRecordOrLeavesTheFileUnchanged) {
    const fs::path file = dir_ / "stop.hap";
    const std::string before = "\"#Haptek earlier\"\r\n";
    tw::DocumentTexts doc = tw::StartupDocument();
    doc.activeFile = file.string();
    doc.dKeyframe = "60";
    doc.framesPSec = "30";
    for (int r = 0; r < tw::RegisterCount; ++r) doc.final[r] = "1";
    doc.finishTime = "60";
    const std::string json = Json(doc);
    const std::string record = "\"" + tw::BlockFor(tw::BlockDestination::File, doc).value().text + "\"\r\n";

    // Stopped while it waits for another writer's lock, holding the stop
    // signals: the record is written whole, then reported.
    Write(file, before);
    const int other = ::open(file.c_str(), O_RDWR);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    Forked ran = RunForked({"generate", json}, dir_, {},
                           [&](pid_t child) {
                               // Held for the wait, not for a moment: starting a
                               // thread also blocks every signal while it lasts.
                               for (;;) {
                                   while (!InMask(child, "SigBlk:", SIGTERM))
                                       std::this_thread::sleep_for(std::chrono::milliseconds(2));
                                   std::this_thread::sleep_for(std::chrono::milliseconds(50));
                                   if (InMask(child, "SigBlk:", SIGTERM)) break;
                               }
                               ::kill(child, SIGTERM);
                               ::close(other);
                           },
                           {other});
    EXPECT_TRUE(ran.exited) << "signal " << ran.status;
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ran.out, "60\n");
    EXPECT_NE(ran.err.find("Stopped by SIGTERM after the animation was added."), std::string::npos)
        << ran.err;
    EXPECT_TRUE(Bytes(file) == before + record);

    // Stopped as soon as it catches stops (while it reads the document or
    // makes the block): nothing written, status 1. Should the stop come
    // later, the record is whole and reported; either way no signal ends it.
    for (int round = 0; round < 3; ++round) {
        Write(file, before);
        ran = RunForked({"generate", json}, dir_, {}, [&](pid_t child) {
            while (!InMask(child, "SigCgt:", SIGTERM)) std::this_thread::yield();
            ::kill(child, SIGTERM);
        });
        EXPECT_TRUE(ran.exited) << "signal " << ran.status;
        if (ran.status == 1) {
            EXPECT_EQ(ran.err, std::string(tw::StoppedBeforeWriteMessage) + "\n");
            EXPECT_EQ(ran.out, "");
            EXPECT_TRUE(Bytes(file) == before);
        } else {
            EXPECT_EQ(ran.status, 0);
            EXPECT_EQ(ran.out, "60\n");
            EXPECT_TRUE(Bytes(file) == before + record);
        }
    }
}

}  // namespace
