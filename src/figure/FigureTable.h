// The figure the character view draws: its joints with their rest positions,
// the joint each register turns and about which axis, and the shapes hung on
// the joints. Everything about the figure's build lives in this one table; the
// pose maths (Pose.h) only walks it.
//
// Figure space: +X is the figure's left (the viewer's right when it faces the
// viewer), +Y is up, +Z is the way the figure faces. Units are centimetres of
// a figure 178 tall standing on Y = 0. Joint registers are angles in radians;
// `LocalTranslate*` are figure units.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "document/RegisterCatalogue.h"

namespace tw {

struct Vec3 {
    float x = 0, y = 0, z = 0;
};
inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline float Length(Vec3 a) { return std::sqrt(Dot(a, a)); }
inline Vec3 Normalized(Vec3 a) {
    const float n = Length(a);
    return n > 0 ? a * (1 / n) : a;
}

// A rotation, row-major.
struct Mat3 {
    std::array<float, 9> m{1, 0, 0, 0, 1, 0, 0, 0, 1};
};
inline Vec3 operator*(const Mat3& r, Vec3 v) {
    const auto& m = r.m;
    return {m[0] * v.x + m[1] * v.y + m[2] * v.z, m[3] * v.x + m[4] * v.y + m[5] * v.z,
            m[6] * v.x + m[7] * v.y + m[8] * v.z};
}
Mat3 operator*(const Mat3& a, const Mat3& b);
// Turning by `angle` radians about the unit `axis`, right-handed.
Mat3 AxisRotation(Vec3 axis, float angle);

// The joints, the figure's right side first, the left side mirrored in the
// same order. A finger is four joints: knuckle, middle joint, tip joint, end.
enum Joint : int {
    Pelvis, Lumbar, Chest, Neck, Head,
    RClavicle, RShoulder, RElbow, RWrist,
    RThumb1, RThumb2, RThumb3, RThumbEnd,
    RIndex1, RIndex2, RIndex3, RIndexEnd,
    RMiddle1, RMiddle2, RMiddle3, RMiddleEnd,
    RRing1, RRing2, RRing3, RRingEnd,
    RPinky1, RPinky2, RPinky3, RPinkyEnd,
    RHip, RKnee, RAnkle, RToe, RToeEnd,
    LClavicle,
    JointCount = LClavicle + (LClavicle - RClavicle),
};
inline constexpr int SideJointCount = LClavicle - RClavicle;
// The left twin of a right-side joint.
constexpr int LeftOf(int rightJoint) { return rightJoint + SideJointCount; }

// Mirror images across the figure's middle plane: a point flips its X, a
// rotation axis (turning sense included) flips Y and Z, a side joint becomes
// its twin on the other side.
constexpr Vec3 MirrorPoint(Vec3 v) { return {-v.x, v.y, v.z}; }
constexpr Vec3 MirrorAxis(Vec3 v) { return {v.x, -v.y, -v.z}; }
constexpr int MirrorJoint(int j) {
    return j >= RClavicle && j < LClavicle ? LeftOf(j) : j >= LClavicle ? j - SideJointCount : j;
}

// What a register moves.
enum class DriveKind : std::uint8_t {
    JointAngle,      // turns `joint` about `axis` by the value
    Face,            // a face feature, see FaceDrive
    FigureRotate,    // turns the whole figure about `axis` through the pelvis
    FigureTranslate  // moves the whole figure along `axis` by the value
};

// The face registers, by what they move.
enum class FaceDrive : std::uint8_t {
    None, MidBrow, RBrow, LBrow, REyeUD, REyeLR, LEyeUD, LEyeLR,
    RNostril, LNostril, RCheek, LCheek, RSmile, LSmile
};

struct RegisterDrive {
    DriveKind kind = DriveKind::JointAngle;
    int joint = -1;      // for JointAngle
    Vec3 axis;           // rotation axis in the parent's frame, or translation axis
    FaceDrive face = FaceDrive::None;
};

struct JointRow {
    int parent = -1;
    Vec3 offset;  // from the parent at rest, figure space (the pelvis: from the ground)
    // The registers turning this joint, applied outermost first.
    std::array<int, 3> registers{-1, -1, -1};
};

enum class Material : std::uint8_t {
    Skin, SkinShadow, Shirt, Trousers, Shoe, Hair, EyeWhite, Iris, Brow, Lips, Cheek, Nostril,
    Count
};

// A point fixed in a joint's frame (it turns with the joint's own registers).
struct Anchor {
    int joint;
    Vec3 offset;
};

// A capsule between two points.
struct LimbShape {
    Anchor from, to;
    float radius;
    Material material;
};

// A flat piece (torso, palm) through corner points, facing along `facing` of
// `joint`'s frame.
struct FlatPiece {
    std::vector<Anchor> corners;
    Material material;
    int joint;
    Vec3 facing;
};

// The face in the head joint's frame; the right-side feature, the left one
// mirrored. Register values move features by these amounts per unit.
struct FaceShape {
    Vec3 centre{0, 10, 1.5f}, radii{8.3f, 10.5f, 9};  // the head as an ellipsoid
    Vec3 hairBack{0, 12.2f, -1.2f}, hairBackRadii{9.1f, 10, 9};
    Vec3 fringe{0, 18, 4}, fringeRadii{7.4f, 3.4f, 0};
    Vec3 ear{-8.2f, 9.5f, 0.5f};
    Vec3 eye{-3.1f, 11.3f, 8.6f};
    float eyeWhiteRadius = 1.45f, irisRadius = 0.72f, eyeTurn = 1.1f;
    Vec3 browInner{-1.2f, 13.8f, 8.9f}, browOuter{-5.4f, 13.6f, 7.6f};
    float browLift = 1.3f;
    Vec3 noseBridge{0, 11.2f, 9.4f}, noseTip{0, 8.4f, 10.8f};
    Vec3 nostril{-1.2f, 7.5f, 9.8f};
    float nostrilFlare = 0.7f;
    Vec3 cheek{-4.7f, 7.6f, 8.1f};
    float cheekRise = 0.6f;
    Vec3 mouthCorner{-2.8f, 4.9f, 8.7f}, mouthMiddle{0, 4.6f, 9.4f};
    float smileLift = 1.1f;
};

struct FigureTable {
    std::array<JointRow, JointCount> joints;
    std::array<RegisterDrive, RegisterCount> drives;
    std::vector<LimbShape> limbs;
    std::vector<FlatPiece> panels;
    FaceShape face;
};

// The one table, built once.
const FigureTable& Figure();

}  // namespace tw
