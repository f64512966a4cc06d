// The figure's pose maths: the rest pose, which joint each register turns and
// which way, and the shapes a pose gives.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "figure/Pose.h"

namespace tw {
namespace {

int Reg(std::string_view name) {
    for (int i = 0; i < RegisterCount; ++i)
        if (RegisterCatalogue()[i].name == name) return i;
    ADD_FAILURE() << "no register " << name;
    return 0;
}

PoseValues With(std::initializer_list<std::pair<const char*, float>> settings) {
    PoseValues v{};
    for (const auto& [name, value] : settings) v[Reg(name)] = value;
    return v;
}

Vec3 At(const PoseValues& v, int joint, Vec3 offset = {}) {
    return AnchorPoint(ComputeJoints(v), {joint, offset});
}

constexpr Viewport ViewSize{273, 337};

std::vector<DrawPrimitive> Shapes(const PoseValues& v) {
    std::vector<DrawPrimitive> out;
    BuildFigure(v, ViewSize, out);
    return out;
}

TEST(Pose, RestPoseIsStableUprightAndMirrored) {
    const PoseValues rest{};
    EXPECT_EQ(Shapes(rest), Shapes(rest));
    const PoseJoints joints = ComputeJoints(rest);
    for (int j = RClavicle; j < LClavicle; ++j) {
        const Vec3 r = joints[j].position, l = joints[LeftOf(j)].position;
        EXPECT_NEAR(r.x, -l.x, 1e-4) << j;
        EXPECT_NEAR(r.y, l.y, 1e-4) << j;
        EXPECT_NEAR(r.z, l.z, 1e-4) << j;
        EXPECT_LT(r.x, 0) << "right side is -X: " << j;
    }
    // Head over pelvis over feet, standing on the ground, all in the view.
    EXPECT_GT(joints[Head].position.y, joints[Pelvis].position.y);
    EXPECT_GT(joints[Pelvis].position.y, joints[RAnkle].position.y);
    EXPECT_NEAR(joints[RToeEnd].position.y, 0, 4);
    for (const DrawPrimitive& p : Shapes(rest))
        for (int i = 0; i < p.count; ++i) {
            EXPECT_GT(p.points[i].x, 0);
            EXPECT_LT(p.points[i].x, ViewSize.width);
            EXPECT_GT(p.points[i].y, 0);
            EXPECT_LT(p.points[i].y, ViewSize.height);
        }
}

TEST(Pose, HeadTwistMovesOnlyTheHead) {
    const PoseValues rest{}, turned = With({{"HeadTwist", 0.6f}});
    const PoseJoints a = ComputeJoints(rest), b = ComputeJoints(turned);
    for (int j = 0; j < JointCount; ++j) {
        EXPECT_EQ(a[j].position.x, b[j].position.x) << j;
        EXPECT_EQ(a[j].position.y, b[j].position.y) << j;
        EXPECT_EQ(a[j].position.z, b[j].position.z) << j;
    }
    auto split = [](const std::vector<DrawPrimitive>& all, bool head) {
        std::vector<DrawPrimitive> part;
        for (const DrawPrimitive& p : all)
            if ((p.joint == Head) == head) part.push_back(p);
        return part;
    };
    const auto restShapes = Shapes(rest), turnedShapes = Shapes(turned);
    EXPECT_EQ(split(restShapes, false), split(turnedShapes, false));
    EXPECT_NE(split(restShapes, true), split(turnedShapes, true));
}

TEST(Pose, EveryRegisterMovesSomething) {
    const auto rest = Shapes(PoseValues{});
    for (int i = 0; i < RegisterCount; ++i) {
        PoseValues v{};
        v[i] = Figure().drives[i].kind == DriveKind::FigureTranslate ? 20.0f : 0.5f;
        EXPECT_NE(Shapes(v), rest) << RegisterCatalogue()[i].name;
    }
}

TEST(Pose, RegisterNamesReadTrue) {
    const PoseValues rest{};
    const Vec3 nose = Figure().face.noseTip;
    // Nodding forward brings the nose forward and down.
    EXPECT_GT(At(With({{"HeadForward", 0.5f}}), Head, nose).z, At(rest, Head, nose).z);
    EXPECT_LT(At(With({{"HeadForward", 0.5f}}), Head, nose).y, At(rest, Head, nose).y);
    // Bending the right elbow lifts the right hand forward; the left stays.
    const PoseValues elbow = With({{"RElbowBendJoint", 1.5f}});
    EXPECT_GT(At(elbow, RWrist).z, At(rest, RWrist).z + 10);
    EXPECT_GT(At(elbow, RWrist).y, At(rest, RWrist).y + 10);
    EXPECT_EQ(At(elbow, LeftOf(RWrist)).z, At(rest, LeftOf(RWrist)).z);
    // Curling the left index finger brings its tip towards the palm, which
    // faces the body (-X on the left side).
    EXPECT_LT(At(With({{"LFingerIndex", 1.2f}}), LeftOf(RIndexEnd)).x, At(rest, LeftOf(RIndexEnd)).x - 2);
    // Arms and legs go out to their own side.
    EXPECT_LT(At(With({{"RShoOut", 1}}), RElbow).x, At(rest, RElbow).x - 10);
    EXPECT_GT(At(With({{"LShoOut", 1}}), LeftOf(RElbow)).x, At(rest, LeftOf(RElbow)).x + 10);
    EXPECT_LT(At(With({{"RThighOut", 0.5f}}), RKnee).x, At(rest, RKnee).x - 10);
    EXPECT_GT(At(With({{"RThighForward", 0.8f}}), RKnee).z, At(rest, RKnee).z + 20);
    EXPECT_GT(At(With({{"RShoForward", 0.8f}}), RElbow).z, At(rest, RElbow).z + 10);
    EXPECT_LT(At(With({{"RKneeBack", 1}}), RAnkle).z, At(rest, RAnkle).z - 20);
    EXPECT_LT(At(With({{"RAnkleFlop", 0.5f}}), RToe).y, At(rest, RToe).y - 3);
    EXPECT_LT(At(With({{"RToeBend", 0.8f}}), RToeEnd).y, At(rest, RToeEnd).y - 2);
    EXPECT_GT(At(With({{"TorsoBow", 0.4f}}), Neck).z, At(rest, Neck).z + 5);
    EXPECT_GT(At(With({{"RClavicalUp", 0.3f}}), RShoulder).y, At(rest, RShoulder).y + 3);
    EXPECT_GT(At(With({{"RClavicalForward", 0.3f}}), RShoulder).z, At(rest, RShoulder).z + 3);
    // The whole figure moves and turns.
    const PoseValues moved = With({{"LocalTranslateX", 10}, {"LocalTranslateY", -5}});
    for (int j : {int(Pelvis), int(Head), LeftOf(RToeEnd)}) {
        EXPECT_NEAR(At(moved, j).x, At(rest, j).x + 10, 1e-3);
        EXPECT_NEAR(At(moved, j).y, At(rest, j).y - 5, 1e-3);
    }
    const PoseValues turned = With({{"LocalRotateY", 1.5708f}});
    EXPECT_NEAR(At(turned, Pelvis).x, At(rest, Pelvis).x, 1e-3);
    EXPECT_GT(At(turned, Head, nose).x, At(turned, Head).x + 5);
}

TEST(Pose, FaceFeaturesFollowTheirRegisters) {
    // The smile lifts the mouth's right corner: the lips' lowest point on
    // screen rises on one side only.
    auto lips = [](const PoseValues& v) {
        std::vector<DrawPrimitive> out;
        for (const DrawPrimitive& p : Shapes(v))
            if (p.material == Material::Lips) out.push_back(p);
        return out;
    };
    const auto rest = lips(PoseValues{}), smiling = lips(With({{"smile3", 1}}));
    ASSERT_EQ(rest.size(), 4u);
    ASSERT_EQ(smiling.size(), 4u);
    float restLeftmost = 1e9, smileLeftmost = 1e9, restY = 0, smileY = 0;
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 2; ++k) {
            if (rest[i].points[k].x < restLeftmost) restLeftmost = rest[i].points[k].x, restY = rest[i].points[k].y;
            if (smiling[i].points[k].x < smileLeftmost)
                smileLeftmost = smiling[i].points[k].x, smileY = smiling[i].points[k].y;
        }
    EXPECT_LT(smileY, restY - 1);  // the figure's right corner is the viewer's left
    // Brows up: every brow point higher on screen.
    auto browTop = [](const PoseValues& v) {
        float top = 1e9;
        for (const DrawPrimitive& p : Shapes(v))
            if (p.material == Material::Brow) top = std::min({top, p.points[0].y, p.points[1].y});
        return top;
    };
    EXPECT_LT(browTop(With({{"RBrowUD", 1}, {"LBrowUD", 1}})), browTop(PoseValues{}) - 1);
    // Wherever the eyes look, each iris is drawn after (over) its eye white.
    for (float lr : {-1.0f, 0.0f, 1.0f})
        for (float ud : {-1.0f, 1.0f}) {
            const auto shapes = Shapes(With({{"REyeBallLR", lr}, {"LEyeBallLR", lr}, {"REyeBallUD", ud}, {"LEyeBallUD", ud}}));
            int irises = 0;
            for (std::size_t i = 0; i < shapes.size(); ++i) {
                if (shapes[i].material != Material::Iris) continue;
                ++irises;
                std::size_t nearest = 0;
                float best = 1e9;
                for (std::size_t k = 0; k < shapes.size(); ++k)
                    if (shapes[k].material == Material::EyeWhite) {
                        const float d = std::hypot(shapes[k].points[0].x - shapes[i].points[0].x,
                                                   shapes[k].points[0].y - shapes[i].points[0].y);
                        if (d < best) best = d, nearest = k;
                    }
                EXPECT_GT(i, nearest) << lr << " " << ud;
            }
            EXPECT_EQ(irises, 2);
        }
    // Each eye's own registers move its iris, and only its iris: up-down
    // along the screen's vertical (up for a positive value), left-right along
    // its horizontal. The figure's right eye is the viewer's left.
    auto irises = [](const PoseValues& v) {
        std::vector<Point2> at;
        for (const DrawPrimitive& p : Shapes(v))
            if (p.material == Material::Iris) at.push_back(p.points[0]);
        if (at.size() == 2 && at[0].x > at[1].x) std::swap(at[0], at[1]);
        return at;
    };
    const auto still = irises(PoseValues{});
    ASSERT_EQ(still.size(), 2u);
    float sideways[2] = {};
    for (int side = 0; side < 2; ++side)
        for (bool upDown : {true, false}) {
            const char* name = side == 0 ? (upDown ? "REyeBallUD" : "REyeBallLR") : (upDown ? "LEyeBallUD" : "LEyeBallLR");
            const auto moved = irises(With({{name, 0.8f}}));
            ASSERT_EQ(moved.size(), 2u) << name;
            EXPECT_EQ(moved[1 - side], still[1 - side]) << name << " moves the other iris";
            const float dx = moved[side].x - still[side].x, dy = moved[side].y - still[side].y;
            if (upDown) {
                EXPECT_LT(dy, -0.3f) << name;
                EXPECT_LT(std::fabs(dx), std::fabs(dy) / 2) << name;
            } else {
                EXPECT_GT(std::fabs(dx), 0.3f) << name;
                EXPECT_LT(std::fabs(dy), std::fabs(dx) / 2) << name;
                sideways[side] = dx;
            }
        }
    EXPECT_GT(sideways[0] * sideways[1], 0) << "the eyes look the same way";
}

TEST(Pose, ValuesNoNumberCanDrawStayFinite) {
    const float inf = std::numeric_limits<float>::infinity();
    PoseValues v{};
    v[Reg("HeadTwist")] = std::numeric_limits<float>::quiet_NaN();
    v[Reg("LocalTranslateX")] = inf;
    v[Reg("LocalTranslateY")] = 1e30f;
    v[Reg("RElbowBendJoint")] = -inf;
    v[Reg("smile3")] = 1e20f;
    std::vector<DrawPrimitive> shapes = Shapes(v);
    // Moved towards the camera and through it.
    for (float z = 600; z <= 800; z += 0.5f) {
        const auto near = Shapes(With({{"LocalTranslateZ", z}}));
        shapes.insert(shapes.end(), near.begin(), near.end());
    }
    for (const DrawPrimitive& p : shapes) {
        EXPECT_TRUE(std::isfinite(p.depth) && std::isfinite(p.width) && std::isfinite(p.height));
        for (int i = 0; i < p.count; ++i) {
            EXPECT_TRUE(std::isfinite(p.points[i].x) && std::isfinite(p.points[i].y));
            EXPECT_LT(std::abs(p.points[i].x), 1e6);
            EXPECT_LT(std::abs(p.points[i].y), 1e6);
        }
    }
}

}  // namespace
}  // namespace tw
