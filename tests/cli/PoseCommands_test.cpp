// The pose tools on the command line: `mirror` prints what the core's mirror
// makes of the document, `pose save/list/apply` work a library in a
// temporary data folder, and bad names, sides and files fail cleanly.
#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/CommandLine.h"
#include "cli/RunCommandLine.h"
#include "cli/StartupDocument.h"
#include "document/DocumentJson.h"
#include "session/PoseTools.h"

namespace fs = std::filesystem;

namespace tw {
namespace {

class PoseCommandsTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tw-pose-cli-" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
        document_ = StartupDocument();
        document_.initial[16] = "0.5";  // RShoOut
        document_.initial[2] = "0.3";   // HeadTwist
        document_.final[13] = "-1.25";  // RClavicalUp
        std::ofstream(dir_ / "doc.json") << DocumentToJson(document_);
    }
    void TearDown() override {
        unsetenv("XDG_DATA_HOME");
        fs::remove_all(dir_);
    }

    DocumentTexts Printed(const Ran& ran) {
        Outcome<DocumentTexts> d = DocumentFromJson(ran.out, StartupDocument());
        EXPECT_TRUE(d) << ran.out;
        return d ? d.value() : DocumentTexts{};
    }
    std::string Doc() const { return (dir_ / "doc.json").string(); }

    fs::path dir_;
    DocumentTexts document_;
};

TEST_F(PoseCommandsTest, MirrorPrintsTheCoresMirrorOfEachSide) {
    for (const char* side : {"initial", "final", "both", "initial-to-final"}) {
        const Ran ran = Tw({"mirror", Doc(), "--side", side});
        ASSERT_EQ(ran.status, 0) << ran.err;
        DocumentTexts expected = document_;
        ApplyMirror(expected, *MirrorSideNamed(side));
        EXPECT_EQ(Printed(ran), expected) << side;
    }
    const Ran both = Tw({"mirror", Doc()});
    EXPECT_EQ(Printed(both).initial[19], "0.5");  // LShoOut
    EXPECT_EQ(Printed(both).initial[2], "-0.3");
    EXPECT_EQ(Tw({"mirror", Doc(), "--side", "left"}).status, 2);
    EXPECT_EQ(Tw({"mirror", (dir_ / "missing.json").string()}).status, 1);
}

TEST_F(PoseCommandsTest, SaveListApplyAndTheirRefusals) {
    Ran ran = Tw({"pose", "save", "reach", Doc(), "--side", "final"});
    ASSERT_EQ(ran.status, 0) << ran.err;
    EXPECT_TRUE(fs::exists(dir_ / "data/tweenwright/poses/reach.hap"));
    ran = Tw({"pose", "save", "reach", Doc()});
    EXPECT_EQ(ran.status, 1);
    EXPECT_NE(ran.err.find("--replace"), std::string::npos);
    EXPECT_EQ(Tw({"pose", "save", "reach", Doc(), "--replace"}).status, 0);
    EXPECT_EQ(Tw({"pose", "save", "../out", Doc()}).status, 1);
    EXPECT_FALSE(fs::exists(dir_ / "data/tweenwright/out.hap"));

    std::ofstream(dir_ / "data/tweenwright/poses/broken.hap") << "\"#Haptek cut off";
    ran = Tw({"pose", "list"});
    ASSERT_EQ(ran.status, 0) << ran.err;
    const nlohmann::json list = nlohmann::json::parse(ran.out);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]["name"], "broken");
    EXPECT_FALSE(list[0]["usable"].get<bool>());
    EXPECT_TRUE(list[0].contains("reason"));
    EXPECT_EQ(list[1]["name"], "reach");
    EXPECT_TRUE(list[1]["usable"].get<bool>());

    // "reach" now holds the initial column (saved again without --side).
    ran = Tw({"pose", "apply", "reach", Doc(), "--side", "final"});
    ASSERT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(Printed(ran).final, document_.initial);
    EXPECT_EQ(Printed(ran).initial, document_.initial);
    EXPECT_EQ(Tw({"pose", "apply", "broken", Doc()}).status, 1);
    EXPECT_EQ(Tw({"pose", "apply", "nothing", Doc()}).status, 1);
    EXPECT_EQ(Tw({"pose"}).status, 2);
}

}  // namespace
}  // namespace tw
