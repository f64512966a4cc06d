// Files that change or lie while they are read: cut short by another process
// in the middle of a load, pipes and endless pseudo-files, blocks larger than
// a load holds, loads stopped from outside, floods of unknown names.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "LiteralLoader.h"
#include "TempFolder.h"
#include "document/MessageText.h"
#include "reading/FileBytes.h"
#include "reading/HapScriptReader.h"
#include "reading/LastAnimationLoader.h"

namespace fs = std::filesystem;

namespace {

using Names = std::array<std::string, tw::RegisterCount>;

Names Catalogue() { return tw::literal::CatalogueNames(); }

// A block as the generator lays it out: every register at every frame.
std::string Block(int frames, double start = 0) {
    std::string text = "\"#Haptek  Version= 2.00 Name= walk.hap   HapType= script FileType= text\r\n\r\n";
    char line[160];
    for (int f = 0; f < frames; ++f) {
        for (int r = 0; r < tw::RegisterCount; ++r) {
            std::snprintf(line, sizeof line, "\\clock [t= %.3f]   \\setreg[name= %s   f0= %.3f]\r\n", start + f * 0.1,
                          std::string(tw::RegisterCatalogue()[r].name).c_str(), r * 0.5 + f);
            text += line;
        }
    }
    return text + "\"\r\n";
}

class HostileFileTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        file = folder / "walk.hap";
    }
    void Write(const std::string& bytes) { std::ofstream(file, std::ios::binary) << bytes; }
    std::string Bytes() {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    fs::path file;
};

// Another process cuts the file short once the load has read its first
// chunk: the load ends with a message (a mapped file would end the program).
TEST_F(HostileFileTest, FileCutShortByAnotherProcessDuringALoad) {
    Write(Block(400));  // about 2.5 MB: many chunks
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    const pid_t cutter = ::fork();
    ASSERT_GE(cutter, 0);
    if (cutter == 0) {
        char byte;
        if (::read(go[0], &byte, 1) == 1) ::truncate(file.c_str(), 100000);
        ::_exit(0);
    }
    ::close(go[0]);
    int readings = 0;
    tw::LoadControl control;
    control.reading = [&](int) {
        if (readings++ == 0) {
            const char byte = 1;
            ASSERT_EQ(::write(go[1], &byte, 1), 1);
            int status = 0;
            ::waitpid(cutter, &status, 0);  // the file is cut before the next chunk
        }
    };
    const auto loaded = tw::LoadLastAnimationFromFile(file.string(), Catalogue(), {}, control);
    ::close(go[1]);
    ASSERT_FALSE(loaded.ok());
    EXPECT_EQ(loaded.error(), tw::FileShrankMessage(file));
    EXPECT_EQ(fs::file_size(file), 100000u);
    // The same file, now short, loads as its bytes say.
    const auto again = tw::LoadLastAnimationFromFile(file.string(), Catalogue());
    ASSERT_TRUE(again.ok()) << again.error();
    EXPECT_EQ(again.value(), tw::literal::Load(Bytes(), Catalogue()));
}

// The backward search reads growing chunks from the end: a header word cut by
// a chunk's edge, or whose "H" is the chunk's first byte, is found as in the
// whole file, and a load of many blocks reads about the last one only.
TEST_F(HostileFileTest, ChunkEdgesAndShareRead) {
    const std::string tailBlock = Block(3, 7);
    for (std::size_t chunk : {std::size_t{64} << 10, std::size_t{128} << 10}) {
        for (int shift = -8; shift <= 8; ++shift) {
            // The tail after the last "H" is `chunk + shift` bytes long.
            const std::size_t above = chunk + static_cast<std::size_t>(shift);
            std::string bytes = Block(2) + std::string(3000, ' ') + "\"#";
            bytes += "Haptek" + std::string(above - 6 - (tailBlock.size() - 8), ' ') + tailBlock.substr(8);
            ASSERT_EQ(bytes.size() - bytes.rfind("Haptek"), above);
            Write(bytes);
            const auto loaded = tw::LoadLastAnimationFromFile(file.string(), Catalogue());
            ASSERT_TRUE(loaded.ok()) << loaded.error();
            EXPECT_EQ(loaded.value(), tw::LoadLastAnimation(bytes, Catalogue())) << chunk << " " << shift;
            EXPECT_EQ(loaded.value().startTime, "7");
        }
    }

    // No header word: the whole file is read, the share read rising to 99.
    std::string plain = Block(300);
    plain.erase(0, plain.find("\r\n"));
    Write(plain);
    std::vector<int> shares;
    tw::LoadControl control;
    control.reading = [&](int share) { shares.push_back(share); };
    const auto loaded = tw::LoadLastAnimationFromFile(file.string(), Catalogue(), {}, control);
    ASSERT_TRUE(loaded.ok());
    EXPECT_EQ(loaded.value(), tw::LoadLastAnimation(plain, Catalogue()));
    ASSERT_GE(shares.size(), 3u);
    for (std::size_t i = 1; i < shares.size(); ++i) EXPECT_LT(shares[i - 1], shares[i]);
    EXPECT_EQ(shares.back(), 99);

    // Many blocks: the share read stays small.
    std::string many;
    for (int b = 0; b < 100; ++b) many += Block(5, b);
    Write(many);
    shares.clear();
    ASSERT_TRUE(tw::LoadLastAnimationFromFile(file.string(), Catalogue(), {}, control).ok());
    ASSERT_FALSE(shares.empty());
    EXPECT_LE(shares.back(), 5);
}

// The cap counts the bytes a load holds, not the file's size.
TEST_F(HostileFileTest, CapOnTheLastBlockNotOnTheFile) {
    tw::LoadControl control;
    control.maxBytes = std::uint64_t{1} << 20;
    Write(Block(300));  // one block of about 1.9 MB
    auto loaded = tw::LoadLastAnimationFromFile(file.string(), Catalogue(), {}, control);
    ASSERT_FALSE(loaded.ok());
    EXPECT_EQ(loaded.error(), "The last block of \"" + file.string() + "\" is not loaded: it is larger than 1 MB.");

    std::string many;
    for (int b = 0; b < 400; ++b) many += Block(2, b);  // about 2.5 MB, short blocks
    Write(many);
    loaded = tw::LoadLastAnimationFromFile(file.string(), Catalogue(), {}, control);
    ASSERT_TRUE(loaded.ok()) << loaded.error();
    EXPECT_EQ(loaded.value().startTime, "399");
}

// A stop asked for from the reading callback ends the load before its next
// chunk; one asked for during the lines ends it within a thousand lines.
TEST_F(HostileFileTest, StoppedLoads) {
    Write(Block(400));
    tw::StopFlag stop{false};
    tw::LoadControl control;
    control.stop = &stop;
    int readings = 0;
    control.reading = [&](int) {
        ++readings;
        stop = true;
    };
    auto loaded = tw::LoadLastAnimationFromFile(file.string(), Catalogue(), {}, control);
    ASSERT_FALSE(loaded.ok());
    EXPECT_EQ(loaded.error(), tw::ReadStoppedMessage);
    EXPECT_EQ(readings, 1);

    stop = false;
    control.reading = {};
    int bars = 0;
    loaded = tw::LoadLastAnimationFromFile(file.string(), Catalogue(), [&](int) {
        if (++bars == 10) stop = true;
    }, control);
    ASSERT_FALSE(loaded.ok());
    EXPECT_LT(bars, 20);  // one bar step is about 400 lines
}

TEST_F(HostileFileTest, WholeFileReadsRefuseWhatCouldHangOrFlood) {
    // A pipe with no writer, and one that becomes a pipe after a check of its
    // path: opened without waiting, refused by what was opened.
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    auto bytes = tw::ReadWholeFile(file, 1 << 20);
    ASSERT_FALSE(bytes.ok());
    EXPECT_EQ(bytes.error(), "\"" + file.string() + "\" is not a regular file.");
    // A pseudo-file that says it is empty but reads without end: read as the
    // size it gives, never more.
    bytes = tw::ReadWholeFile("/proc/self/pagemap", 1 << 20);
    ASSERT_TRUE(bytes.ok()) << bytes.error();
    EXPECT_EQ(bytes.value().size(), 0u);
    EXPECT_FALSE(tw::ReadWholeFile("/dev/zero", 1 << 20).ok());

    fs::remove(file);
    Write(std::string(3 << 20, 'x'));
    bytes = tw::ReadWholeFile(file, 2 << 20);
    ASSERT_FALSE(bytes.ok());
    EXPECT_EQ(bytes.error(), "The file \"" + file.string() + "\" is not read: it is larger than 2 MB.");
    bytes = tw::ReadWholeFile(file, 3 << 20);
    ASSERT_TRUE(bytes.ok());
    EXPECT_EQ(bytes.value(), std::string(3 << 20, 'x'));
    tw::StopFlag stop{true};
    bytes = tw::ReadWholeFile(file, 3 << 20, &stop);
    ASSERT_FALSE(bytes.ok());
    EXPECT_EQ(bytes.error(), tw::ReadStoppedMessage);
}

// While a process cuts and regrows the file over and over, every load and
// every whole-file read ends with a result or a message, never a fault.
TEST_F(HostileFileTest, FilesChangingSizeWhileRead) {
    const std::string block = Block(150);
    Write(block);
    const pid_t churner = ::fork();
    ASSERT_GE(churner, 0);
    if (churner == 0) {
        for (int i = 0; i < 4000; ++i) {
            if (::truncate(file.c_str(), static_cast<off_t>((i * 7919) % block.size())) != 0) break;
            std::ofstream(file, std::ios::binary | std::ios::app) << block.substr(0, (i * 104729) % block.size());
        }
        ::_exit(0);
    }
    int loadedCount = 0, refused = 0;
    for (int i = 0; i < 200; ++i) {
        const auto loaded = tw::LoadLastAnimationFromFile(file.string(), Catalogue());
        loaded.ok() ? ++loadedCount : ++refused;
        if (!loaded.ok()) {
            EXPECT_EQ(loaded.error(), tw::FileShrankMessage(file));
        }
        const auto whole = tw::ReadWholeFile(file, 1 << 24);
        if (whole.ok()) {
            tw::ReadHapScript(whole.value());
        } else {
            EXPECT_EQ(whole.error(), tw::FileShrankMessage(file));
        }
    }
    ::kill(churner, SIGKILL);
    ::waitpid(churner, nullptr, 0);
    EXPECT_EQ(loadedCount + refused, 200);
}

// Unknown names in the first frame: one message however many there are, with
// the first few names cut to a length a box shows.
TEST(UnknownNames, AFloodGivesOneMessage) {
    std::string bytes = "\"#Haptek\r\n";
    for (int i = 0; i < 10000; ++i)
        bytes += "\\clock [t= 0.000]   \\setreg[name= Nobody" + std::to_string(i) + "   f0= 1.000]\r\n";
    bytes += "\\clock [t= 0.100]   \\setreg[name= HeadTwist   f0= 2.000]\r\n\"\r\n";
    const tw::LoadedAnimation loaded = tw::LoadLastAnimation(bytes, Catalogue());
    EXPECT_EQ(loaded.unknownNameCount, 10000u);
    EXPECT_EQ(tw::LoadMessages(loaded),
              std::vector<std::string>{"Unable to find setreg Nobody0, Nobody1, Nobody2, Nobody3, Nobody4 and 9995 "
                                       "more on current form.  Will ignore these 10000 values"});
    int twist = 0;
    while (Catalogue()[twist] != "HeadTwist") ++twist;
    EXPECT_EQ(loaded.final[twist], "2");
}

TEST(UnknownNames, ALongNameIsCutWithAnEllipsis) {
    const std::string name(10 << 20, 'N');
    const std::string bytes = "\"#Haptek\r\n\\clock [t= 0.000]   \\setreg[name= " + name +
                              "   f0= 1.000]\r\n\\clock [t= 0.100]   \\setreg[name= HeadTwist   f0= 2.000]\r\n";
    const tw::LoadedAnimation loaded = tw::LoadLastAnimation(bytes, Catalogue());
    const std::string shown = std::string(tw::ShownNameChars - 1, 'N') + "\xE2\x80\xA6";
    EXPECT_EQ(tw::LoadMessages(loaded), std::vector<std::string>{tw::UnknownNameMessage(shown)});
    EXPECT_EQ(loaded, tw::literal::Load(bytes, Catalogue()));
}

}  // namespace
