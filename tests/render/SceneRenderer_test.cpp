// The scene drawn without a window: frames of any size, the same picture for
// the same time, a moving figure between times, and the camera, ghosts and
// background each showing in the picture.
#include "render/SceneRenderer.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPainter>
#include <cstdlib>
#include <random>

#include "figure/Mirror.h"

#include "document/RegisterCatalogue.h"
#include "session/Transport.h"

namespace tw {
namespace {

int Reg(std::string_view name) {
    for (int i = 0; i < RegisterCount; ++i)
        if (RegisterCatalogue()[i].name == name) return i;
    return -1;
}

// The head turning and the right arm rising over two seconds.
std::shared_ptr<const HapTimeline> Script() {
    return std::make_shared<const HapTimeline>(ReadHapScript(
        "\\clock [t= 0.000]   \\setreg[name= HeadTwist   f0= 0.000]\n"
        "\\clock [t= 0.000]   \\setreg[name= RShoOut   f0= 0.000]\n"
        "\\clock [t= 1.000]   \\setreg[name= HeadTwist   f0= 30.000]\n"
        "\\clock [t= 1.000]   \\setreg[name= RShoOut   f0= 40.000]\n"
        "\\clock [t= 2.000]   \\setreg[name= HeadTwist   f0= 60.000]\n"
        "\\clock [t= 2.000]   \\setreg[name= RShoOut   f0= 80.000]\n"));
}

class SceneRendererTest : public ::testing::Test {
protected:
    std::int64_t now = 0;
    Player player{std::make_shared<FunctionClock>([this] { return now; })};
    SceneRenderer scene{player};
    const QSize size{273, 337};

    void SetUp() override { player.Play(Script(), "a.hap"); }
};

TEST_F(SceneRendererTest, AFrameIsTheSizeAskedAndTheSameForTheSameTime) {
    const QImage a = scene.Frame(1, size);
    EXPECT_EQ(a.size(), size);
    EXPECT_EQ(scene.Frame(0.5, size).size(), size);  // another time between
    EXPECT_EQ(scene.Frame(1, size), a);
    EXPECT_EQ(scene.Frame(1, QSize(1920, 1080)).size(), QSize(1920, 1080));
    EXPECT_EQ(scene.Frame(1, size), a);  // a size drawn between keeps nothing stale
}

TEST_F(SceneRendererTest, TwoTimesOfAMovingScriptDifferAndAFrameIsThePoseAtItsTime) {
    EXPECT_NE(scene.Frame(0, size), scene.Frame(2, size));
    // The frame at a time is the scene drawn with the player's pose at it.
    player.ScrubTo(1.5);
    QImage shown(size, QImage::Format_RGB32);
    {
        QPainter p(&shown);
        scene.Draw(p, QRect(QPoint(0, 0), size));
    }
    EXPECT_EQ(scene.Frame(1.5, size), shown);
    EXPECT_EQ(player.Pose(), SamplePose(*Script(), 1.5));
    EXPECT_NE(player.Pose()[Reg("HeadTwist")], 0);
}

TEST_F(SceneRendererTest, CameraGhostsAndBackgroundEachChangeThePicture) {
    const QImage plain = scene.Frame(1, size);
    scene.SetCamera(PresetCamera(CameraPreset::Side));
    const QImage side = scene.Frame(1, size);
    EXPECT_NE(side, plain);
    scene.SetCamera(StartupCamera());
    EXPECT_EQ(scene.Frame(1, size), plain);

    scene.SetGhosts(true);
    const QImage ghosts = scene.Frame(1, size);
    EXPECT_NE(ghosts, plain);
    // The ghosts follow a new script.
    player.Play(std::make_shared<const HapTimeline>(
                    ReadHapScript("\\clock [t= 0.000]   \\setreg[name= HeadTwist   f0= 0.000]\n"
                                  "\\clock [t= 1.000]   \\setreg[name= HeadTwist   f0= 1.000]\n")),
                "b.hap");
    EXPECT_NE(scene.Frame(1, size), ghosts);
    scene.SetGhosts(false);

    QImage red(8, 8, QImage::Format_RGB32);
    red.fill(QColor(200, 0, 0));
    scene.SetBackground(red);
    const QImage backed = scene.Frame(1, size);
    EXPECT_EQ(backed.pixelColor(1, 1), QColor(200, 0, 0));
    EXPECT_TRUE(scene.HasBackground());
    scene.SetBackground(QImage());
    EXPECT_NE(scene.Frame(1, size).pixelColor(1, 1), QColor(200, 0, 0));
}

TEST_F(SceneRendererTest, APoseShownWithoutAScriptIsDrawnAtAnyTime) {
    PoseValues pose{};
    pose[Reg("RShoOut")] = 70;
    player.ShowPose(pose, "Initial");
    const QImage a = scene.Frame(0, size);
    EXPECT_EQ(scene.Frame(5, size), a);
    player.ShowPose(PoseValues{}, "Initial");
    EXPECT_NE(scene.Frame(0, size), a);
}

// The mirror rules are exact for the figure drawn: seen from the front, the
// mirrored pose (lit from the mirrored side) is the original's picture
// flipped left for right, but for antialiasing along a few edges.
TEST(MirroredPose, IsTheFlippedPictureFromTheFront) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> angle(-0.6f, 0.6f), face(-1, 1), shift(-8, 8);
    const QSize size(400, 500);
    for (int round = 0; round < 12; ++round) {
        PoseValues pose{};
        for (int r = 0; r < RegisterCount; ++r) {
            const std::string_view name = RegisterCatalogue()[r].name;
            pose[r] = name.starts_with("LocalTranslate") ? shift(random)
                      : r >= Reg("MidBrowUD") && r <= Reg("smile4") ? face(random)
                                                                      : angle(random);
        }
        Player original, mirrored;
        original.ShowPose(pose, "a");
        mirrored.ShowPose(MirrorPose(pose), "b");
        SceneRenderer left(original), right(mirrored);
        left.SetCamera(PresetCamera(CameraPreset::Front));
        right.SetCamera(PresetCamera(CameraPreset::Front));
        right.SetLightSide(LightSide::Right);
        const QImage flipped = left.Frame(0, size).mirrored(true, false);
        const QImage image = right.Frame(0, size);
        int differing = 0, figure = 0;
        const QRgb sky = image.pixel(0, size.height() / 2);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const QRgb a = flipped.pixel(x, y), b = image.pixel(x, y);
                figure += a != image.pixel(size.width() - 1 - x, 0) && a != sky;
                const int d = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                        std::abs(qBlue(a) - qBlue(b))});
                differing += d > 24;
            }
        EXPECT_GT(figure, 5000) << "round " << round;  // the figure is in the picture
        EXPECT_LT(differing, size.width() * size.height() / 200) << "round " << round;
    }
}

}  // namespace
}  // namespace tw

int main(int argc, char** argv) {
    // Drawing text and pictures needs a GUI application; no display is.
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
