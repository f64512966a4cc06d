// The block commands in process, on files made by `generate`, against a
// reading of our own: the records split at their closing lines, the times
// found by a pattern, the ripple done in integer thousandths. Every failure
// exits 1 and leaves the file as it was.
#include "cli/BlockCommands.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <regex>
#include <set>
#include <sstream>

#include "cli/CommandLine.h"
#include "cli/RunCommandLine.h"
#include "cli/StartupDocument.h"
#include "document/DocumentJson.h"
#include "document/FieldRules.h"
#include "document/NumberText.h"
#include "generation/GenerationRun.h"
#include "generation/HapScript.h"

namespace fs = std::filesystem;

namespace {

std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void Write(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// The records of a generated file: each ends with its closing quote line.
std::vector<std::string> Records(const std::string& bytes) {
    std::vector<std::string> records;
    std::size_t start = 0;
    for (std::size_t end; (end = bytes.find("\r\n\"\r\n", start)) != std::string::npos; start = end + 5)
        records.push_back(bytes.substr(start, end + 5 - start));
    return records;
}

long ParseThousandths(const std::string& text) {
    const long whole = std::stol(text.substr(0, text.size() - 4));
    const long part = std::stol(text.substr(text.size() - 3));
    return whole * 1000 + (text[0] == '-' ? -part : part);
}

std::string WriteThousandths(long value) {
    char out[40];
    std::snprintf(out, sizeof out, "%s%ld.%03ld", value < 0 ? "-" : "", std::labs(value) / 1000,
                  std::labs(value) % 1000);
    return out;
}

const std::regex& ClockPattern() {
    static const std::regex clock(R"(\\clock \[t= (-?[0-9]+\.[0-9]{3})\])");
    return clock;
}

// The first and last clock time of a record, in thousandths.
std::pair<long, long> Times(const std::string& record) {
    std::vector<long> times;
    for (auto it = std::sregex_iterator(record.begin(), record.end(), ClockPattern());
         it != std::sregex_iterator(); ++it)
        times.push_back(ParseThousandths((*it)[1]));
    return {times.front(), times.back()};
}

// The record moved by `delta` thousandths, time by time.
std::string Moved(const std::string& record, long delta) {
    std::string out;
    std::size_t at = 0;
    for (auto it = std::sregex_iterator(record.begin(), record.end(), ClockPattern());
         it != std::sregex_iterator(); ++it) {
        out += record.substr(at, static_cast<std::size_t>((*it)[1].first - record.begin()) - at);
        out += WriteThousandths(ParseThousandths((*it)[1]) + delta);
        at = static_cast<std::size_t>((*it)[1].second - record.begin());
    }
    return out + record.substr(at);
}

class BlockCommandsTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tw-blocks-" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        file_ = dir_ / "walk.hap";
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Json(const tw::DocumentTexts& doc, const std::string& name = "doc.json") {
        Write(dir_ / name, tw::DocumentToJson(doc));
        return (dir_ / name).string();
    }
    tw::DocumentTexts Random(std::mt19937& random) {
        const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
        tw::DocumentTexts doc = tw::StartupDocument();
        doc.activeFile = file_.string();
        const char* durations[] = {"1", "0.5", "1.25", "2", "0.3", "0.75"};
        const char* rates[] = {"10", "4", "30", "7"};
        doc.dKeyframe = durations[pick(6)];
        doc.framesPSec = rates[pick(4)];
        doc.finishTime = tw::FinishTimeText(doc.startTime, doc.dKeyframe);
        doc.acceleration = pick(2) ? "0" : "2";
        if (pick(3) == 0) doc.subHeader = "take " + std::to_string(pick(9));
        for (int n = 1 + pick(4); n > 0; --n)
            doc.final[pick(tw::RegisterCount)] = std::to_string(pick(9) - 4) + ".25";
        return doc;
    }
    // A file of `blocks` blocks, each added by `generate` where the last ended.
    void MakeFile(std::mt19937& random, int blocks) {
        fs::remove(file_);
        std::string start = "0";
        for (int b = 0; b < blocks; ++b) {
            tw::DocumentTexts doc = Random(random);
            doc.startTime = start;
            doc.finishTime = tw::FinishTimeText(doc.startTime, doc.dKeyframe);
            const Ran ran = Tw({"generate", Json(doc)});
            ASSERT_EQ(ran.status, 0) << ran.err;
            start = ran.out.substr(0, ran.out.size() - 1);
        }
    }
    // The record F5 writes for `doc` started at `start` thousandths.
    static std::string RecordAt(tw::DocumentTexts doc, long start) {
        doc.startTime = tw::DecimalText(start / 1000.0);
        doc.finishTime = tw::FinishTimeText(doc.startTime, doc.dKeyframe);
        return tw::QuotedRecord(tw::BlockFor(tw::BlockDestination::File, doc).value().text);
    }

    fs::path dir_, file_;
};

}  // namespace

TEST_F(BlockCommandsTest, EditsAreOurOwnRippleOfTheSameFileByteForByte) {
    std::mt19937 random(26);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const int count = 1 + pick(5);
        MakeFile(random, count);
        const std::string before = Bytes(file_);
        std::vector<std::string> records = Records(before);
        ASSERT_EQ(records.size(), static_cast<std::size_t>(count));
        const int k = pick(count);  // 0-based
        const long number = pick(2) ? k + 1 : k - count;
        const tw::DocumentTexts doc = Random(random);
        const auto [oldStart, oldFinish] = Times(records[k]);
        const int kind = round % 3;

        std::string expected;
        for (int i = 0; i < k; ++i) expected += records[i];
        long delta = 0;
        Ran ran;
        std::string printed;
        if (kind == 0) {
            const std::string made = RecordAt(doc, oldStart);
            delta = Times(made).second - oldFinish;
            expected += made;
            printed = WriteThousandths(Times(made).second) + "\n";
            ran = Tw({"replace-block", file_.string(), std::to_string(number), Json(doc)});
        } else if (kind == 1) {
            const std::string made = RecordAt(doc, oldStart);
            delta = Times(made).second - Times(made).first;
            expected += made + Moved(records[k], delta);
            printed = WriteThousandths(Times(made).second) + "\n";
            ran = Tw({"insert-block", file_.string(), std::to_string(number), Json(doc)});
        } else {
            delta = oldStart - oldFinish;
            ran = Tw({"remove-block", file_.string(), std::to_string(number)});
        }
        for (int i = k + 1; i < count; ++i) expected += Moved(records[i], delta);
        ASSERT_EQ(ran.status, 0) << ran.err;
        EXPECT_EQ(ran.err, "");
        EXPECT_EQ(ran.out, printed);
        ASSERT_EQ(Bytes(file_), expected) << "kind " << kind << " block " << number;
    }
}

TEST_F(BlockCommandsTest, BlocksListsEveryRecordWithItsSpanTimesAndFramesInTheGivenKeys) {
    std::mt19937 random(5);
    MakeFile(random, 4);
    const std::string bytes = Bytes(file_);
    const Ran ran = Tw({"blocks", file_.string()});
    ASSERT_EQ(ran.status, 0) << ran.err;
    const auto list = nlohmann::ordered_json::parse(ran.out);
    const std::vector<std::string> records = Records(bytes);
    ASSERT_EQ(list.size(), records.size());
    std::uint64_t offset = 0;
    for (std::size_t k = 0; k < records.size(); ++k) {
        const auto& block = list[k];
        std::vector<std::string> keys;
        for (const auto& item : block.items()) keys.push_back(item.key());
        EXPECT_EQ(keys, (std::vector<std::string>{"index", "offset", "length", "start", "finish", "frames",
                                                  "framesPSec", "registers", "subHeader"}));
        EXPECT_EQ(block["index"], k + 1);
        EXPECT_EQ(block["offset"], offset);
        EXPECT_EQ(block["length"], records[k].size());
        const auto [start, finish] = Times(records[k]);
        EXPECT_EQ(block["start"], WriteThousandths(start));
        EXPECT_EQ(block["finish"], WriteThousandths(finish));
        // Frames: the distinct times, as each frame's lines share one.
        std::set<std::string> times;
        for (auto it = std::sregex_iterator(records[k].begin(), records[k].end(), ClockPattern());
             it != std::sregex_iterator(); ++it)
            times.insert((*it)[1]);
        EXPECT_EQ(block["frames"], times.size());
        offset += records[k].size();
    }
    // No blocks: an empty list. A missing file: status 1.
    Write(file_, "not a hap file\n");
    EXPECT_EQ(Tw({"blocks", file_.string()}).out, "[]\n");
    const Ran missing = Tw({"blocks", (dir_ / "none.hap").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("none.hap"), std::string::npos);
}

TEST_F(BlockCommandsTest, LoadBlockIsLoadLastOfTheFileEndingAtThatBlock) {
    std::mt19937 random(11);
    MakeFile(random, 3);
    const std::string bytes = Bytes(file_);
    const std::vector<std::string> records = Records(bytes);
    const Ran last = Tw({"load-last", file_.string()});
    const Ran minusOne = Tw({"load-block", file_.string(), "-1"});
    ASSERT_EQ(last.status, 0);
    EXPECT_EQ(minusOne.out, last.out);
    EXPECT_EQ(minusOne.err, last.err);
    for (int k = 0; k < 3; ++k) {
        const fs::path cut = dir_ / "cut.hap";
        std::string upTo;
        for (int i = 0; i <= k; ++i) upTo += records[i];
        Write(cut, upTo);
        const Ran expected = Tw({"load-last", cut.string()});
        const Ran got = Tw({"load-block", file_.string(), std::to_string(k + 1)});
        ASSERT_EQ(got.status, 0) << got.err;
        auto want = tw::DocumentFromJson(expected.out, tw::StartupDocument()).value();
        want.activeFile = file_.string();
        EXPECT_EQ(got.out, tw::DocumentToJson(want)) << "block " << k + 1;
    }
}

TEST_F(BlockCommandsTest, EveryFailureExitsOneWithTheMessageAndLeavesTheFile) {
    std::mt19937 random(3);
    MakeFile(random, 2);
    const std::string before = Bytes(file_);
    tw::DocumentTexts doc = Random(random);
    const std::string good = Json(doc);
    Write(dir_ / "bad.json", R"({"final": {"HeadForward": "1", "Tail": "2"}})");
    doc.framesPSec = "0";
    const std::string noFrames = Json(doc, "noframes.json");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"remove-block", file_.string(), "3"}, "has no block 3: it holds 2 blocks."},
        {{"replace-block", file_.string(), "-3", good}, "has no block -3"},
        {{"insert-block", file_.string(), "0", good}, "has no block 0"},
        {{"load-block", file_.string(), "9"}, "has no block 9"},
        {{"replace-block", file_.string(), "1", (dir_ / "bad.json").string()}, "names no register \"Tail\""},
        {{"insert-block", file_.string(), "1", noFrames}, ""},
        {{"remove-block", (dir_ / "none.hap").string(), "1"}, "none.hap"},
    };
    for (const auto& [args, message] : cases) {
        const Ran ran = Tw(args);
        EXPECT_EQ(ran.status, 1) << args[0] << " " << args[2];
        EXPECT_EQ(ran.out, "");
        EXPECT_NE(ran.err, "");
        EXPECT_NE(ran.err.find(message), std::string::npos) << ran.err;
        EXPECT_EQ(Bytes(file_), before);
    }
    // A folder that cannot be written, for a user who is not root.
    fs::permissions(file_, fs::perms::all);
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                              fs::perms::others_exec | fs::perms::group_read | fs::perms::group_exec);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
        const Ran ran = Tw({"remove-block", file_.string(), "1"});
        ::_exit(ran.status == 1 && ran.err.find("Could not create a file beside") != std::string::npos ? 0
                                                                                                       : 4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    fs::permissions(dir_, fs::perms::owner_all);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Bytes(file_), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 4);
}
