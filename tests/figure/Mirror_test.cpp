// The mirror rules: every left/right pair the catalogue names swaps, the
// movements whose axis turns with the mirror change sign, and mirroring twice
// gives back the column.
#include "figure/Mirror.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "document/NumberText.h"
#include "document/RegisterCatalogue.h"

namespace tw {
namespace {

std::string NameOf(int r) { return std::string(RegisterCatalogue()[r].name); }
int IndexOf(const std::string& name) {
    for (int r = 0; r < RegisterCount; ++r)
        if (NameOf(r) == name) return r;
    return -1;
}

// The twin the catalogue's names imply: R and L swapped where they mark a
// side (before a capital or a digit), the two smiles; itself otherwise.
std::string TwinByName(const std::string& name) {
    if (name == "smile3") return "smile4";
    if (name == "smile4") return "smile3";
    for (std::size_t i = 0; i + 1 < name.size(); ++i) {
        const char next = name[i + 1];
        const bool marks = (i == 0 || std::isupper(static_cast<unsigned char>(name[i - 1])) ||
                            std::islower(static_cast<unsigned char>(name[i - 1]))) &&
                           (std::isupper(static_cast<unsigned char>(next)) || std::isdigit(static_cast<unsigned char>(next)));
        if ((name[i] == 'R' || name[i] == 'L') && marks) {
            std::string twin = name;
            twin[i] = name[i] == 'R' ? 'L' : 'R';
            if (IndexOf(twin) >= 0) return twin;
        }
    }
    return name;
}

TEST(Mirror, EveryPairTheCatalogueNamesSwapsAndTheRestStay) {
    int pairs = 0;
    for (int r = 0; r < RegisterCount; ++r) {
        const std::string twin = TwinByName(NameOf(r));
        EXPECT_EQ(NameOf(MirrorRules()[r].target), twin) << NameOf(r);
        pairs += twin != NameOf(r);
    }
    // 37 joint pairs; the brows, the eyes (up-down and left-right), the
    // nostrils, the cheeks and the smiles.
    EXPECT_EQ(pairs, 2 * 43);
}

TEST(Mirror, TheSignsAsTheFigureMovesWrittenDown) {
    // Every register whose mirrored movement runs the other way; all the
    // others (forward bends, every left/right pair, the face but for the
    // eyes' left-right) keep their sign.
    const std::vector<std::string> turned = {
        "HeadSideBend", "HeadTwist", "NeckSideBend", "NeckTwist", "TorsoSidebend", "TorsoTwist",
        "LumbarSidebend", "LumbarTwist", "REyeBallLR", "LEyeBallLR", "LocalRotateY", "LocalRotateZ",
        "LocalTranslateX"};
    for (int r = 0; r < RegisterCount; ++r) {
        const bool turns = std::find(turned.begin(), turned.end(), NameOf(r)) != turned.end();
        EXPECT_EQ(MirrorRules()[r].sign, turns ? -1 : 1) << NameOf(r);
    }
}

TEST(Mirror, TwiceGivesBackThePoseAndTheColumn) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> value(-2, 2);
    PoseValues pose;
    ValueColumn column;
    for (int r = 0; r < RegisterCount; ++r) {
        pose[r] = value(random);
        column[r] = DecimalText(pose[r]);
    }
    EXPECT_EQ(MirrorPose(MirrorPose(pose)), pose);
    EXPECT_EQ(MirrorColumn(MirrorColumn(column)), column);
    const PoseValues once = MirrorPose(pose);
    EXPECT_NE(once, pose);
    for (int r = 0; r < RegisterCount; ++r) EXPECT_EQ(MirrorColumn(column)[MirrorRules()[r].target], DecimalText(once[MirrorRules()[r].target]));
}

TEST(Mirror, TextsAsTheSliderWritesThemAndNonNumbersCarriedOver) {
    ValueColumn column;
    column.fill("0");
    column[IndexOf("RShoOut")] = "0.50";
    column[IndexOf("HeadTwist")] = " 1.23456789 ";
    column[IndexOf("LShoForward")] = "abc";
    column[IndexOf("NeckTwist")] = "-0";
    column[IndexOf("TorsoTwist")] = "1e300";
    const ValueColumn m = MirrorColumn(column);
    EXPECT_EQ(m[IndexOf("LShoOut")], "0.5");
    EXPECT_EQ(m[IndexOf("RShoOut")], "0");
    EXPECT_EQ(m[IndexOf("HeadTwist")], "-1.234568");
    EXPECT_EQ(m[IndexOf("RShoForward")], "abc");
    EXPECT_EQ(m[IndexOf("LShoForward")], "0");
    EXPECT_EQ(m[IndexOf("NeckTwist")], "0");
    EXPECT_EQ(m[IndexOf("TorsoTwist")], "-1E+300");
}

}  // namespace
}  // namespace tw
