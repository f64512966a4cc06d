#include "figure/FigureTable.h"

#include <stdexcept>
#include <string>
#include <string_view>

namespace tw {

Mat3 operator*(const Mat3& a, const Mat3& b) {
    Mat3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[i * 3 + j] = a.m[i * 3] * b.m[j] + a.m[i * 3 + 1] * b.m[3 + j] +
                             a.m[i * 3 + 2] * b.m[6 + j];
    return r;
}

Mat3 AxisRotation(Vec3 a, float angle) {
    const float c = std::cos(angle), s = std::sin(angle), t = 1 - c;
    Mat3 r;
    r.m = {t * a.x * a.x + c,       t * a.x * a.y - s * a.z, t * a.x * a.z + s * a.y,
           t * a.x * a.y + s * a.z, t * a.y * a.y + c,       t * a.y * a.z - s * a.x,
           t * a.x * a.z - s * a.y, t * a.y * a.z + s * a.x, t * a.z * a.z + c};
    return r;
}

namespace {

constexpr Vec3 AxisX{1, 0, 0}, AxisY{0, 1, 0}, AxisZ{0, 0, 1};
constexpr Vec3 Neg(Vec3 v) { return {-v.x, -v.y, -v.z}; }

int RegisterIndex(std::string_view name) {
    const auto& catalogue = RegisterCatalogue();
    for (int i = 0; i < RegisterCount; ++i)
        if (catalogue[i].name == name) return i;
    throw std::logic_error("figure table names an unknown register");
}

Anchor MirrorAnchor(Anchor a) { return {MirrorJoint(a.joint), MirrorPoint(a.offset)}; }

class Builder {
public:
    FigureTable t;

    void Joint(int j, int parent, Vec3 offset) {
        t.joints[j].parent = parent;
        t.joints[j].offset = offset;
        if (j >= RClavicle && j < LClavicle) {
            t.joints[LeftOf(j)].parent = MirrorJoint(parent);
            t.joints[LeftOf(j)].offset = MirrorPoint(offset);
        }
    }

    // A register turning `joint` about `axis`; `leftName` gets the mirrored twin.
    void Turn(std::string_view name, int joint, Vec3 axis, std::string_view leftName = {}) {
        Attach(RegisterIndex(name), joint, axis);
        if (!leftName.empty()) Attach(RegisterIndex(leftName), LeftOf(joint), MirrorAxis(axis));
    }

    // Twisting about the bone from `joint` to its child `child`.
    void Twist(std::string_view name, int joint, int child, std::string_view leftName) {
        Turn(name, joint, Normalized(t.joints[child].offset), leftName);
    }

    void Face(std::string_view name, FaceDrive drive) {
        RegisterDrive& d = t.drives[RegisterIndex(name)];
        d.kind = DriveKind::Face;
        d.face = drive;
    }

    void Whole(std::string_view name, DriveKind kind, Vec3 axis) {
        RegisterDrive& d = t.drives[RegisterIndex(name)];
        d.kind = kind;
        d.axis = axis;
    }

    void Limb(Anchor from, Anchor to, float radius, Material m, bool mirrored = true) {
        t.limbs.push_back({from, to, radius, m});
        if (mirrored) t.limbs.push_back({MirrorAnchor(from), MirrorAnchor(to), radius, m});
    }

private:
    void Attach(int reg, int joint, Vec3 axis) {
        RegisterDrive& d = t.drives[reg];
        d.kind = DriveKind::JointAngle;
        d.joint = joint;
        d.axis = axis;
        for (int& slot : t.joints[joint].registers)
            if (slot < 0) {
                slot = reg;
                return;
            }
        throw std::logic_error("a joint takes at most three registers");
    }
};

struct FingerBuild {
    const char* name;  // "Index": RFingerIndexOut, RFingerIndex, ...Mid, ...Tip
    int first;         // the knuckle joint
    Vec3 knuckle, bones[3];
    Vec3 spread;       // axis that moves the finger away from the middle finger
    float radius;
};

FigureTable Build() {
    Builder b;
    // Rest pose: standing, arms hanging a little away from the body, palms
    // towards the thighs with the thumbs forward.
    b.Joint(Pelvis, -1, {0, 96, 0});
    b.Joint(Lumbar, Pelvis, {0, 5, 0});
    b.Joint(Chest, Lumbar, {0, 16, 0});
    b.Joint(Neck, Chest, {0, 26, -1});
    b.Joint(Head, Neck, {0, 9, 1});
    b.Joint(RClavicle, Chest, {-2, 22, 2});
    b.Joint(RShoulder, RClavicle, {-16, 0, -3});
    b.Joint(RElbow, RShoulder, {-4, -28, 0});
    b.Joint(RWrist, RElbow, {-1, -25, 2});
    b.Joint(RHip, Pelvis, {-9, -4, 0});
    b.Joint(RKnee, RHip, {-1, -44, 1});
    b.Joint(RAnkle, RKnee, {0, -40, -2});
    b.Joint(RToe, RAnkle, {-1.5f, -5.5f, 13});
    b.Joint(RToeEnd, RToe, {0, -0.5f, 5});

    const FingerBuild fingers[] = {
        {"Thumb", RThumb1, {0.8f, -2, 2.4f}, {{0.6f, -3.6f, 1.3f}, {0.4f, -3, 0.6f}, {0.3f, -2.4f, 0.3f}},
         Neg(AxisX), 1.05f},
        {"Index", RIndex1, {0, -9, 2.4f}, {{0, -4.4f, 0.3f}, {0, -2.7f, 0.1f}, {0, -2.1f, 0}}, Neg(AxisX), 0.9f},
        {"Middle", RMiddle1, {0, -9.4f, 0.8f}, {{0, -4.9f, 0.1f}, {0, -3, 0}, {0, -2.3f, 0}}, Neg(AxisX), 0.9f},
        {"Ring", RRing1, {0, -9.1f, -0.9f}, {{0, -4.5f, -0.1f}, {0, -2.8f, 0}, {0, -2.1f, 0}}, AxisX, 0.85f},
        {"Pinky", RPinky1, {0, -8.4f, -2.5f}, {{0, -3.6f, -0.3f}, {0, -2.2f, 0}, {0, -1.9f, 0}}, AxisX, 0.78f},
    };
    for (const FingerBuild& f : fingers) {
        b.Joint(f.first, RWrist, f.knuckle);
        for (int k = 0; k < 3; ++k) b.Joint(f.first + 1 + k, f.first + k, f.bones[k]);
    }

    // Spine and head: forward about X, sideways about Z, twisting about Y.
    const struct { const char *forward, *side, *twist; int joint; } spine[] = {
        {"LumbarBow", "LumbarSidebend", "LumbarTwist", Lumbar},
        {"TorsoBow", "TorsoSidebend", "TorsoTwist", Chest},
        {"NeckForward", "NeckSideBend", "NeckTwist", Neck},
        {"HeadForward", "HeadSideBend", "HeadTwist", Head},
    };
    for (const auto& s : spine) {
        b.Turn(s.forward, s.joint, AxisX);
        b.Turn(s.side, s.joint, AxisZ);
        b.Turn(s.twist, s.joint, AxisY);
    }
    // Right side; each left twin turns the mirrored way.
    b.Turn("RClavicalUp", RClavicle, Neg(AxisZ), "LClavicalUp");
    b.Turn("RClavicalForward", RClavicle, AxisY, "LClavicalForward");
    b.Turn("RShoForward", RShoulder, Neg(AxisX), "LShoForward");
    b.Turn("RShoOut", RShoulder, Neg(AxisZ), "LShoOut");
    b.Twist("RShoTwist", RShoulder, RElbow, "LShoTwist");
    b.Turn("RElbowBendJoint", RElbow, Neg(AxisX), "LElbowBendJoint");
    b.Twist("RElbowTwist", RElbow, RWrist, "LElbowTwist");
    b.Turn("RWristWave", RWrist, Neg(AxisX), "LWristWave");
    b.Turn("RWristFlop", RWrist, AxisZ, "LWristFlop");  // towards the palm
    for (const FingerBuild& f : fingers) {
        const std::string r = std::string("RFinger") + f.name, l = std::string("LFinger") + f.name;
        // Spreading first, then curling towards the palm at each joint.
        b.Turn(r + "Out", f.first, f.spread, l + "Out");
        b.Turn(r, f.first, AxisZ, l);
        b.Turn(r + "Mid", f.first + 1, AxisZ, l + "Mid");
        b.Turn(r + "Tip", f.first + 2, AxisZ, l + "Tip");
    }
    b.Turn("RThighForward", RHip, Neg(AxisX), "LThighForward");
    b.Turn("RThighOut", RHip, Neg(AxisZ), "LThighOut");
    b.Twist("RThighTwist", RHip, RKnee, "LThighTwist");
    b.Turn("RKneeBack", RKnee, AxisX, "LKneeBack");
    b.Twist("RKneeTwist", RKnee, RAnkle, "LKneeTwist");
    b.Turn("RAnkleWave", RAnkle, Neg(AxisY), "LAnkleWave");  // toes outwards
    b.Turn("RAnkleFlop", RAnkle, AxisX, "LAnkleFlop");       // toes down
    b.Turn("RToeBend", RToe, AxisX, "LToeBend");              // toes curl down

    b.Face("MidBrowUD", FaceDrive::MidBrow);
    b.Face("RBrowUD", FaceDrive::RBrow);
    b.Face("LBrowUD", FaceDrive::LBrow);
    b.Face("REyeBallUD", FaceDrive::REyeUD);
    b.Face("REyeBallLR", FaceDrive::REyeLR);
    b.Face("LEyeBallUD", FaceDrive::LEyeUD);
    b.Face("LEyeBallLR", FaceDrive::LEyeLR);
    b.Face("NostrilR3tx", FaceDrive::RNostril);
    b.Face("NostrilL3tx", FaceDrive::LNostril);
    b.Face("CheekR2sy", FaceDrive::RCheek);
    b.Face("CheekL2sy", FaceDrive::LCheek);
    b.Face("smile3", FaceDrive::RSmile);
    b.Face("smile4", FaceDrive::LSmile);
    b.Whole("LocalRotateX", DriveKind::FigureRotate, AxisX);
    b.Whole("LocalRotateY", DriveKind::FigureRotate, AxisY);
    b.Whole("LocalRotateZ", DriveKind::FigureRotate, AxisZ);
    b.Whole("LocalTranslateX", DriveKind::FigureTranslate, AxisX);
    b.Whole("LocalTranslateY", DriveKind::FigureTranslate, AxisY);
    b.Whole("LocalTranslateZ", DriveKind::FigureTranslate, AxisZ);

    // Shapes.
    auto at = [](int joint, Vec3 offset = {}) { return Anchor{joint, offset}; };
    b.Limb(at(Neck), at(Head), 4.4f, Material::Skin, false);
    b.Limb(at(RClavicle, {-3, 1, -1}), at(RShoulder), 5.2f, Material::Shirt);
    b.Limb(at(RShoulder), at(RElbow), 4.5f, Material::Shirt);
    b.Limb(at(RElbow), at(RWrist), 3.3f, Material::Skin);
    for (const FingerBuild& f : fingers)
        for (int k = 0; k < 3; ++k)
            b.Limb(at(f.first + k), at(f.first + k + 1), f.radius * (1 - 0.08f * k), Material::Skin);
    b.Limb(at(RHip), at(RKnee), 6.8f, Material::Trousers);
    b.Limb(at(RKnee), at(RAnkle), 5.2f, Material::Trousers);
    b.Limb(at(RAnkle, {0, -4.5f, -4.5f}), at(RToe), 3.4f, Material::Shoe);
    b.Limb(at(RToe), at(RToeEnd), 3.1f, Material::Shoe);

    FlatPiece shirt{{at(RClavicle, {-15.5f, 3, -2}), at(Chest, {-15, 13, 0}), at(Lumbar, {-13, 6, 0}),
                     at(Lumbar, {13, 6, 0}), at(Chest, {15, 13, 0}), at(LClavicle, {15.5f, 3, -2}),
                     at(Chest, {5.5f, 27.5f, 0}), at(Chest, {-5.5f, 27.5f, 0})},
                    Material::Shirt, Chest, AxisZ};
    FlatPiece trousers{{at(Lumbar, {-13, 6, 0}), at(Pelvis, {-15.5f, -3, 0}), at(Pelvis, {-14.5f, -12, 1}),
                        at(Pelvis, {0, -14, 1}), at(Pelvis, {14.5f, -12, 1}), at(Pelvis, {15.5f, -3, 0}),
                        at(Lumbar, {13, 6, 0})},
                       Material::Trousers, Pelvis, AxisZ};
    FlatPiece palm{{at(RWrist, {0, -1, 2.2f}), at(RIndex1), at(RMiddle1), at(RRing1), at(RPinky1),
                    at(RWrist, {0, -1.5f, -2.2f})},
                   Material::Skin, RWrist, AxisX};
    b.t.panels = {shirt, trousers, palm};
    FlatPiece leftPalm = palm;
    for (Anchor& a : leftPalm.corners) a = MirrorAnchor(a);
    leftPalm.joint = LeftOf(RWrist);
    leftPalm.facing = MirrorPoint(palm.facing);
    b.t.panels.push_back(leftPalm);
    return b.t;
}

}  // namespace

const FigureTable& Figure() {
    static const FigureTable table = Build();
    return table;
}

}  // namespace tw
