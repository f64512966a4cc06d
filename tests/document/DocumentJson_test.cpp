#include "document/DocumentJson.h"

#include <gtest/gtest.h>

namespace {

tw::DocumentTexts Sample() {
    tw::DocumentTexts doc;
    doc.activeFile = "/tmp/walk.hap";
    doc.fileHeader = "#Haptek  header";
    doc.figure = "Zo\xC3\xAB";
    doc.startTime = " 2.50s";  // texts stand as typed, numbers or not
    doc.finishTime = "3.5";
    doc.dKeyframe = "1";
    doc.framesPSec = "12.5";
    doc.acceleration = "-";
    doc.subHeader = "a\r\nb\"c\\d\te";
    for (int r = 0; r < tw::RegisterCount; ++r) {
        doc.names[r] = "name" + std::to_string(r);
        doc.initial[r] = std::to_string(r);
        doc.final[r] = std::to_string(-r) + "e1";
    }
    return doc;
}

TEST(DocumentJson, EveryTextComesBackAsItWas) {
    const tw::DocumentTexts doc = Sample();
    const std::string json = tw::DocumentToJson(doc);
    const auto back = tw::DocumentFromJson(json, tw::DocumentTexts{});
    ASSERT_TRUE(back.ok()) << back.error();
    EXPECT_EQ(back.value(), doc);
    // The keys in the struct's order, one per line.
    EXPECT_TRUE(json.starts_with("{\n  \"activeFile\": \"/tmp/walk.hap\",\n  \"fileHeader\": ")) << json;
    EXPECT_LT(json.find("\"subHeader\""), json.find("\"names\""));
    EXPECT_LT(json.find("\"initial\""), json.find("\"final\""));
    EXPECT_TRUE(json.ends_with("]\n}\n"));
}

TEST(DocumentJson, TextThatIsNotUtf8IsReplacedNotLost) {
    tw::DocumentTexts doc = Sample();
    doc.figure = "a\xFF" "b";
    const auto back = tw::DocumentFromJson(tw::DocumentToJson(doc), tw::DocumentTexts{});
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back.value().figure, "a\xEF\xBF\xBD" "b");
}

TEST(DocumentJson, KeysLeftOutKeepTheBaseAndTheFinishTimeFollows) {
    const tw::DocumentTexts base = Sample();
    auto read = tw::DocumentFromJson(R"({"figure": "guard", "startTime": "2", "dKeyframe": "0.5"})", base);
    ASSERT_TRUE(read.ok()) << read.error();
    tw::DocumentTexts expected = base;
    expected.figure = "guard";
    expected.startTime = "2";
    expected.dKeyframe = "0.5";
    expected.finishTime = "2.5";
    EXPECT_EQ(read.value(), expected);
    // A finish time given stands as given.
    read = tw::DocumentFromJson(R"({"startTime": "2", "finishTime": "7"})", base);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read.value().finishTime, "7");
    read = tw::DocumentFromJson("{}", base);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read.value().finishTime, "3.5");  // " 2.50s" + 1
}

TEST(DocumentJson, ColumnsKeyedByRegisterNameSetThoseRegistersOnly) {
    const tw::DocumentTexts base = Sample();
    const auto read = tw::DocumentFromJson(R"({"final": {"HeadForward": "-0.3", "LocalTranslateZ": ""},
                                               "initial": {}, "names": {"HeadSideBend": "Tilt"}})",
                                           base);
    ASSERT_TRUE(read.ok()) << read.error();
    tw::DocumentTexts expected = base;
    expected.final[1] = "-0.3";  // HeadForward is the second register, LocalTranslateZ the last
    expected.final[tw::LastRegisterIndex] = "";
    expected.names[0] = "Tilt";
    expected.finishTime = read.value().finishTime;
    EXPECT_EQ(read.value(), expected);
    // A register's name from the catalogue, not the document's own names.
    EXPECT_FALSE(tw::DocumentFromJson(R"({"final": {"name1": "2"}})", base).ok());
}

TEST(DocumentJson, WrongDocumentsAreRefusedNamingTheKey) {
    const std::string column(tw::RegisterCount, ' ');
    std::string names = "[";
    for (int r = 0; r < tw::RegisterCount; ++r) names += r ? ",\"x\"" : "\"x\"";
    const std::string almost = names + "]";
    const std::pair<std::string, std::string> cases[] = {
        {R"({"startTime": 1})", "\"startTime\" must hold a string, not number"},
        {R"({"subHeader": null})", "\"subHeader\" must hold a string, not null"},
        {R"({"StartTime": "1"})", "unknown key \"StartTime\""},
        {R"({"names": ["a", "b"]})", "\"names\" must hold an array of 105 strings; it holds 2 values"},
        {R"({"initial": "0"})", "\"initial\" must hold an array of 105 strings or an object keyed by register "
                                "name, not string"},
        {R"({"final": {"HeadForward": "1", "HeadFrwd": "2"}})", "\"final\" names no register \"HeadFrwd\""},
        {R"({"names": {"HeadForward": 1}})", "the value of \"HeadForward\" is number"},
        {R"({"final": )" + names + ",\"y\"]}", "\"final\" must hold an array of 105 strings; it holds 106"},
        {R"({"final": )" + names.substr(0, names.size() - 3) + "5]}", "value 104 is number"},
        {"[]", "must be a JSON object, not array"},
        {"\"text\"", "must be a JSON object, not string"},
        {"{\"a\": ", "not valid JSON"},
        {"{} {}", "not valid JSON"},
    };
    for (const auto& [json, message] : cases) {
        const auto read = tw::DocumentFromJson(json, Sample());
        ASSERT_FALSE(read.ok()) << json;
        EXPECT_NE(read.error().find(message), std::string::npos) << read.error();
    }
    EXPECT_TRUE(tw::DocumentFromJson(R"({"final": )" + almost + "}", Sample()).ok());
}

}  // namespace
