// The view's camera: the rules mouse input follows, and that turning the
// camera moves the picture but never the pose.
#include <gtest/gtest.h>

#include <cmath>

#include "figure/Pose.h"

namespace tw {
namespace {

constexpr Viewport ViewSize{273, 337};

std::vector<DrawPrimitive> Shapes(const PoseValues& v, const ViewCamera& camera) {
    std::vector<DrawPrimitive> out;
    BuildFigure(v, ViewSize, camera, out);
    return out;
}

PoseValues SomePose() {
    PoseValues v{};
    v[0] = 0.3f;   // the head bends
    v[20] = -0.4f;
    v[102] = 5;    // and the figure stands aside
    return v;
}

TEST(Camera, StartupCameraIsTheThreeQuarterPresetAndTheDefault) {
    EXPECT_EQ(PresetCamera(CameraPreset::ThreeQuarter), StartupCamera());
    // Shapes without a camera are the start-up camera's, to the bit.
    std::vector<DrawPrimitive> plain;
    BuildFigure(SomePose(), ViewSize, plain);
    EXPECT_EQ(plain, Shapes(SomePose(), StartupCamera()));
    // Turning away and back by the same pixels lands on the same shapes.
    const ViewCamera back = Orbited(Orbited(StartupCamera(), 40, 0), -40, 0);
    EXPECT_NEAR(back.yaw, StartupCamera().yaw, 1e-6);
    for (CameraPreset p : {CameraPreset::Front, CameraPreset::Side, CameraPreset::Top})
        EXPECT_NE(Shapes(SomePose(), PresetCamera(p)), plain) << static_cast<int>(p);
}

TEST(Camera, OrbitTurnsThePictureButNotThePose) {
    const PoseValues pose = SomePose();
    const PoseJoints before = ComputeJoints(pose);
    const ViewCamera turned = Orbited(StartupCamera(), 120, -30);
    EXPECT_NE(Shapes(pose, turned), Shapes(pose, StartupCamera()));
    const PoseJoints after = ComputeJoints(pose);
    for (int j = 0; j < JointCount; ++j) {
        EXPECT_EQ(before[j].position.x, after[j].position.x);
        EXPECT_EQ(before[j].position.y, after[j].position.y);
    }
    // A rightward drag brings the figure's front towards the viewer's right:
    // the nose tip moves right relative to the head's centre.
    const Vec3 head = AnchorPoint(after, {Head, {0, 10, 0}});
    const Vec3 nose = AnchorPoint(after, {Head, {0, 10, 10}});
    auto offset = [&](const ViewCamera& c) {
        return Project(nose, ViewSize, c).at.x - Project(head, ViewSize, c).at.x;
    };
    const ViewCamera front = PresetCamera(CameraPreset::Front);
    EXPECT_GT(offset(Orbited(front, 30, 0)), offset(front) + 1);
}

TEST(Camera, TiltAndZoomStayWithinTheirLimits) {
    ViewCamera c = StartupCamera();
    c = Orbited(c, 0, 100000);
    EXPECT_FLOAT_EQ(c.pitch, MaxTilt);
    c = Orbited(c, 0, -100000);
    EXPECT_FLOAT_EQ(c.pitch, -MaxTilt);
    c = Orbited(c, 1e9f, NAN);
    EXPECT_FLOAT_EQ(c.pitch, -MaxTilt);
    EXPECT_TRUE(std::isfinite(c.yaw));
    EXPECT_LE(std::fabs(c.yaw), 3.1416f);

    c = Zoomed(StartupCamera(), 100);
    EXPECT_FLOAT_EQ(c.zoom, MaxZoom);
    c = Zoomed(c, -1000);
    EXPECT_FLOAT_EQ(c.zoom, MinZoom);
    // Zooming in makes the figure larger on the screen.
    const Vec3 top{0, 170, 0}, foot{0, 0, 0};
    auto height = [&](const ViewCamera& cam) {
        return Project(foot, ViewSize, cam).at.y - Project(top, ViewSize, cam).at.y;
    };
    EXPECT_GT(height(Zoomed(StartupCamera(), 2)), 1.3f * height(StartupCamera()));
}

TEST(Camera, PanMovesTheFigureWithTheMouse) {
    const float fit = FitScale(ViewSize);
    const ViewCamera zoomed = Zoomed(StartupCamera(), 3);
    const ViewCamera moved = Panned(zoomed, 25, -10, fit);
    const Vec3 target{0, 88, 0};
    const Point2 a = Project(target, ViewSize, zoomed).at, b = Project(target, ViewSize, moved).at;
    EXPECT_NEAR(b.x - a.x, 25, 0.5);
    EXPECT_NEAR(b.y - a.y, -10, 0.5);
    EXPECT_EQ(Panned(zoomed, 1e30f, 0, fit).panX, -1000);
    EXPECT_EQ(Panned(zoomed, 5, 5, 0), zoomed);
}

}  // namespace
}  // namespace tw
