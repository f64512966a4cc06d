#include "figure/Mirror.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "document/NumberText.h"
#include "figure/FigureTable.h"

namespace tw {

namespace {

bool Same(Vec3 a, Vec3 b) { return std::fabs(a.x - b.x) + std::fabs(a.y - b.y) + std::fabs(a.z - b.z) < 1e-5f; }
Vec3 Neg(Vec3 v) { return {-v.x, -v.y, -v.z}; }

// The face features by their mirror twin, and whether the value's sign turns.
MirrorRule FaceTwin(const FigureTable& table, FaceDrive drive) {
    static constexpr struct {
        FaceDrive a, b;
        int sign;
    } twins[] = {{FaceDrive::MidBrow, FaceDrive::MidBrow, 1}, {FaceDrive::RBrow, FaceDrive::LBrow, 1},
                 {FaceDrive::REyeUD, FaceDrive::LEyeUD, 1},   {FaceDrive::REyeLR, FaceDrive::LEyeLR, -1},
                 {FaceDrive::RNostril, FaceDrive::LNostril, 1}, {FaceDrive::RCheek, FaceDrive::LCheek, 1},
                 {FaceDrive::RSmile, FaceDrive::LSmile, 1}};
    for (const auto& t : twins) {
        if (t.a != drive && t.b != drive) continue;
        const FaceDrive other = t.a == drive ? t.b : t.a;
        for (int r = 0; r < RegisterCount; ++r)
            if (table.drives[r].kind == DriveKind::Face && table.drives[r].face == other) return {r, t.sign};
    }
    throw std::logic_error("a face register without a mirror twin");
}

// The register whose drive is `kind` at `joint` about `axis` or its opposite.
MirrorRule DriveTwin(const FigureTable& table, DriveKind kind, int joint, Vec3 axis) {
    for (int r = 0; r < RegisterCount; ++r) {
        const RegisterDrive& d = table.drives[r];
        if (d.kind != kind || (kind == DriveKind::JointAngle && d.joint != joint)) continue;
        if (Same(d.axis, axis)) return {r, 1};
        if (Same(d.axis, Neg(axis))) return {r, -1};
    }
    throw std::logic_error("a register without a mirror twin");
}

std::array<MirrorRule, RegisterCount> Derive() {
    const FigureTable& table = Figure();
    std::array<MirrorRule, RegisterCount> rules{};
    for (int r = 0; r < RegisterCount; ++r) {
        const RegisterDrive& d = table.drives[r];
        switch (d.kind) {
        case DriveKind::JointAngle:
            // A register that turns no joint moves nothing; it stays itself.
            rules[r] = d.joint < 0 ? MirrorRule{r, 1}
                                   : DriveTwin(table, d.kind, MirrorJoint(d.joint), MirrorAxis(d.axis));
            break;
        case DriveKind::FigureRotate: rules[r] = DriveTwin(table, d.kind, -1, MirrorAxis(d.axis)); break;
        case DriveKind::FigureTranslate: rules[r] = DriveTwin(table, d.kind, -1, MirrorPoint(d.axis)); break;
        case DriveKind::Face: rules[r] = FaceTwin(table, d.face); break;
        }
    }
    return rules;
}

}  // namespace

const std::array<MirrorRule, RegisterCount>& MirrorRules() {
    static const std::array<MirrorRule, RegisterCount> rules = Derive();
    return rules;
}

PoseValues MirrorPose(const PoseValues& pose) {
    PoseValues mirrored{};
    for (int r = 0; r < RegisterCount; ++r) {
        const MirrorRule& rule = MirrorRules()[r];
        mirrored[rule.target] = rule.sign < 0 ? -pose[r] : pose[r];
    }
    return mirrored;
}

ValueColumn MirrorColumn(const ValueColumn& column) {
    ValueColumn mirrored;
    for (int r = 0; r < RegisterCount; ++r) {
        const MirrorRule& rule = MirrorRules()[r];
        const std::optional<double> value = StrictNumber(column[r]);
        if (!value) {
            mirrored[rule.target] = column[r];
            continue;
        }
        const double v = rule.sign < 0 ? -*value : *value;
        // A value beyond single precision keeps its double text rather than
        // turning into an infinity.
        mirrored[rule.target] = std::fabs(v) <= std::numeric_limits<float>::max() ? DecimalText(static_cast<float>(v))
                                                                                   : DecimalText(v);
    }
    return mirrored;
}

}  // namespace tw
