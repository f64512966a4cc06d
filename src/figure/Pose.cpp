#include "figure/Pose.h"

#include <algorithm>
#include <cmath>

namespace tw {
namespace {

// The camera looks at a point above the pelvis from 7 m away.
constexpr float CameraDistance = 700;
constexpr Vec3 CameraTarget{0, 88, 0};
// Light from the upper left, in camera space (z towards the camera).
const Vec3 LightFromLeft = Normalized({-0.45f, 0.65f, 0.6f});
// A register value beyond these is held at them, so that no file can push
// the drawing to coordinates the painter cannot take.
constexpr float MaxTranslate = 10000, MaxFaceValue = 3;

float Finite(float v, float limit) {
    if (!std::isfinite(v)) return 0;
    return std::clamp(v, -limit, limit);
}

struct Frame {
    float scale, cx, cy;
    Mat3 turn;
    float panX, panY;
};
Frame FrameOf(Viewport v, const ViewCamera& camera) {
    return {FitScale(v) * camera.zoom, v.width / 2.0f, v.height / 2.0f, CameraRotation(camera), camera.panX,
            camera.panY};
}

Projected ProjectIn(Vec3 p, const Frame& f) {
    Vec3 q = f.turn * (p - CameraTarget);
    q.x -= f.panX;
    q.y -= f.panY;
    // A point at or behind the camera is held just in front of it, so the
    // perspective never divides by zero.
    const float s = f.scale * CameraDistance / std::max(CameraDistance - q.z, 0.05f * CameraDistance);
    return {{f.cx + s * q.x, f.cy - s * q.y}, -q.z, s};
}

class FigureBuilder {
public:
    FigureBuilder(const PoseValues& values, Viewport viewport, const ViewCamera& camera,
                  std::vector<DrawPrimitive>& out, LightSide light)
        : table_(Figure()), joints_(ComputeJoints(values)), frame_(FrameOf(viewport, camera)), out_(out),
          light_(light == LightSide::Left ? LightFromLeft : Vec3{-LightFromLeft.x, LightFromLeft.y, LightFromLeft.z}) {
        for (int i = 0; i < RegisterCount; ++i)
            if (table_.drives[i].kind == DriveKind::Face)
                face_[static_cast<int>(table_.drives[i].face)] = Finite(values[i], MaxFaceValue);
        pelvisDepth_ = ProjectIn(joints_[Pelvis].position, frame_).depth;
    }

    void Build() {
        out_.clear();
        for (const LimbShape& limb : table_.limbs) AddLimb(limb);
        for (const FlatPiece& panel : table_.panels) AddPanel(panel);
        AddHead();
        std::stable_sort(out_.begin(), out_.end(),
                         [](const DrawPrimitive& a, const DrawPrimitive& b) { return a.depth > b.depth; });
    }

private:
    const FigureTable& table_;
    PoseJoints joints_;
    Frame frame_;
    std::vector<DrawPrimitive>& out_;
    Vec3 light_;
    std::array<float, 14> face_{};
    float pelvisDepth_ = 0;

    float Face(FaceDrive d) const { return face_[static_cast<int>(d)]; }

    // Limbs further back than the pelvis are darker, nearer ones lighter.
    float DepthShade(float depth) const { return std::clamp(1 - 0.012f * (depth - pelvisDepth_), 0.7f, 1.15f); }

    void AddLimb(const LimbShape& limb) {
        const Projected a = ProjectIn(AnchorPoint(joints_, limb.from), frame_);
        const Projected b = ProjectIn(AnchorPoint(joints_, limb.to), frame_);
        DrawPrimitive p;
        p.shape = Shape::Segment;
        p.material = limb.material;
        p.joint = static_cast<std::int16_t>(limb.from.joint);
        p.count = 2;
        p.points[0] = a.at;
        p.points[1] = b.at;
        p.depth = (a.depth + b.depth) / 2;
        p.width = limb.radius * (a.scale + b.scale);
        p.shade = DepthShade(p.depth);
        out_.push_back(p);
    }

    void AddPanel(const FlatPiece& panel) {
        DrawPrimitive p;
        p.shape = Shape::Polygon;
        p.material = panel.material;
        p.joint = static_cast<std::int16_t>(panel.joint);
        float depth = 0;
        for (const Anchor& corner : panel.corners) {
            const Projected c = ProjectIn(AnchorPoint(joints_, corner), frame_);
            p.points[p.count++] = c.at;
            depth += c.depth;
        }
        p.depth = depth / p.count;
        const Vec3 normal = frame_.turn * (joints_[panel.joint].frame * panel.facing);
        p.shade = 0.6f + 0.5f * std::max(0.0f, Dot(normal, light_));
        out_.push_back(p);
    }

    // A flat or round blob in the head's frame: half axes rx along the head's
    // X and ry along its Y; rz is its depth, seen when the head turns.
    // A face feature: a shape of the head joint, in the head's frame.
    DrawPrimitive HeadShape(Shape shape, Material m, int count) const {
        DrawPrimitive p;
        p.shape = shape;
        p.material = m;
        p.joint = Head;
        p.count = count;
        return p;
    }
    Projected ProjectOnHead(Vec3 local) const {
        const JointPose& h = joints_[Head];
        return ProjectIn(h.position + h.frame * local, frame_);
    }
    void AddEllipse(Vec3 local, float rx, float ry, float rz, Material m) {
        const JointPose& h = joints_[Head];
        const Projected c = ProjectOnHead(local);
        const Vec3 right = frame_.turn * (h.frame * Vec3{1, 0, 0});
        const Vec3 up = frame_.turn * (h.frame * Vec3{0, 1, 0});
        DrawPrimitive p = HeadShape(Shape::Ellipse, m, 1);
        p.points[0] = c.at;
        p.depth = c.depth;
        p.angle = std::atan2(up.x, up.y);
        p.width = c.scale * std::hypot(rx * std::hypot(right.x, right.y), rz * right.z);
        p.height = c.scale * std::hypot(ry * std::hypot(up.x, up.y), rz * up.z);
        out_.push_back(p);
    }

    void AddStroke(Vec3 from, Vec3 to, float width, Material m) {
        const Projected a = ProjectOnHead(from);
        const Projected b = ProjectOnHead(to);
        DrawPrimitive p = HeadShape(Shape::Segment, m, 2);
        p.points[0] = a.at;
        p.points[1] = b.at;
        p.depth = (a.depth + b.depth) / 2;
        p.width = width * (a.scale + b.scale) / 2;
        out_.push_back(p);
    }

    // A face feature shows while its side of the head faces the camera.
    bool Faces(Vec3 local) const {
        const Vec3 n = frame_.turn * (joints_[Head].frame * Normalized(local - table_.face.centre));
        return n.z > 0.15f;
    }

    void AddHead() {
        const FaceShape& f = table_.face;
        AddEllipse(f.hairBack, f.hairBackRadii.x, f.hairBackRadii.y, f.hairBackRadii.z, Material::Hair);
        AddEllipse(f.centre, f.radii.x, f.radii.y, f.radii.z, Material::Skin);
        AddEllipse(f.fringe, f.fringeRadii.x, f.fringeRadii.y, f.fringeRadii.x, Material::Hair);
        if (Faces(f.noseTip)) AddStroke(f.noseBridge, f.noseTip, 1.4f, Material::SkinShadow);
        const float midBrow = Face(FaceDrive::MidBrow);
        const float smileSum = Face(FaceDrive::RSmile) + Face(FaceDrive::LSmile);
        const Vec3 mouthMiddle = f.mouthMiddle + Vec3{0, -0.2f * smileSum, 0};
        for (int side = 0; side < 2; ++side) {
            const bool left = side == 1;
            auto m = [left](Vec3 v) { return left ? Vec3{-v.x, v.y, v.z} : v; };
            const Vec3 outward = m({-1, 0, 0});
            const float brow = Face(left ? FaceDrive::LBrow : FaceDrive::RBrow);
            const float eyeUD = Face(left ? FaceDrive::LEyeUD : FaceDrive::REyeUD);
            const float eyeLR = Face(left ? FaceDrive::LEyeLR : FaceDrive::REyeLR);
            const float nostril = Face(left ? FaceDrive::LNostril : FaceDrive::RNostril);
            const float cheek = Face(left ? FaceDrive::LCheek : FaceDrive::RCheek);
            const float smile = Face(left ? FaceDrive::LSmile : FaceDrive::RSmile);

            AddEllipse(m(f.ear), 1.1f, 2.2f, 1.5f, Material::SkinShadow);
            const Vec3 eye = m(f.eye);
            if (Faces(eye)) {
                AddEllipse(eye, f.eyeWhiteRadius, f.eyeWhiteRadius * 0.6f, 0.3f, Material::EyeWhite);
                const Vec3 turn{std::sin(eyeLR) * f.eyeTurn * 0.8f, std::sin(eyeUD) * f.eyeTurn * 0.5f, 0.2f};
                const float whiteDepth = out_.back().depth;
                AddEllipse(eye + turn, f.irisRadius, f.irisRadius, 0.2f, Material::Iris);
                out_.back().depth = whiteDepth - 0.01f;  // always on the eye white
            }
            const Vec3 inner = m(f.browInner) + Vec3{0, (brow + midBrow) * f.browLift, 0};
            const Vec3 outer = m(f.browOuter) + Vec3{0, brow * f.browLift, 0};
            if (Faces(inner)) AddStroke(inner, outer, 0.65f, Material::Brow);
            const Vec3 nose = m(f.nostril) + outward * (nostril * f.nostrilFlare);
            if (Faces(nose)) AddEllipse(nose, 0.5f, 0.32f, 0.2f, Material::Nostril);
            const Vec3 cheekAt = m(f.cheek) + Vec3{0, cheek * f.cheekRise, 0};
            if (Faces(cheekAt))
                AddEllipse(cheekAt, 1.8f, std::max(0.2f, 1.2f * (1 + 0.5f * cheek)), 0.3f, Material::Cheek);
            const Vec3 corner = m(f.mouthCorner) + Vec3{0, smile * f.smileLift, 0} + outward * (0.3f * smile);
            // The lip bends half way, so a smile curves rather than kinks.
            const Vec3 bend = (corner + mouthMiddle) * 0.5f + Vec3{0, -0.3f * smile * f.smileLift, 0};
            if (Faces(corner)) {
                AddStroke(corner, bend, 0.75f, Material::Lips);
                AddStroke(bend, mouthMiddle, 0.75f, Material::Lips);
            }
        }
    }
};

}  // namespace

PoseJoints ComputeJoints(const PoseValues& values) {
    const FigureTable& table = Figure();
    Mat3 turn;
    Vec3 move;
    for (int i = 0; i < RegisterCount; ++i) {
        const RegisterDrive& d = table.drives[i];
        if (d.kind == DriveKind::FigureRotate && values[i] != 0)
            turn = turn * AxisRotation(d.axis, Finite(values[i], 1e4f));
        else if (d.kind == DriveKind::FigureTranslate)
            move = move + d.axis * Finite(values[i], MaxTranslate);
    }
    PoseJoints joints;
    for (int j = 0; j < JointCount; ++j) {
        const JointRow& joint = table.joints[j];
        Mat3 local;
        for (int reg : joint.registers)
            if (reg >= 0 && values[reg] != 0)
                local = local * AxisRotation(table.drives[reg].axis, Finite(values[reg], 1e4f));
        if (joint.parent < 0) {
            joints[j].position = joint.offset + move;
            joints[j].frame = turn * local;
        } else {
            const JointPose& parent = joints[joint.parent];
            joints[j].position = parent.position + parent.frame * joint.offset;
            joints[j].frame = parent.frame * local;
        }
    }
    return joints;
}

Vec3 AnchorPoint(const PoseJoints& joints, const Anchor& anchor) {
    const JointPose& j = joints[anchor.joint];
    return j.position + j.frame * anchor.offset;
}

float FitScale(Viewport viewport) { return std::min(viewport.height / 196.0f, viewport.width / 118.0f); }

Projected Project(Vec3 point, Viewport viewport, const ViewCamera& camera) {
    return ProjectIn(point, FrameOf(viewport, camera));
}

void BuildFigure(const PoseValues& values, Viewport viewport, const ViewCamera& camera,
                 std::vector<DrawPrimitive>& out, LightSide light) {
    FigureBuilder(values, viewport, camera, out, light).Build();
}

}  // namespace tw
