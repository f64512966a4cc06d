#include "document/RegisterCatalogue.h"

#include <cmath>

namespace tw {
namespace {

constexpr std::string_view Names[RegisterCount] = {
    "HeadSideBend", "HeadForward", "HeadTwist", "NeckSideBend", "NeckForward",
    "NeckTwist", "TorsoSidebend", "TorsoBow", "TorsoTwist", "LumbarSidebend",
    "LumbarBow", "LumbarTwist", "RClavicalForward", "RClavicalUp", "LClavicalForward",
    "LClavicalUp", "RShoForward", "RShoOut", "RShoTwist", "LShoForward",
    "LShoOut", "LShoTwist", "RElbowBendJoint", "RElbowTwist", "LElbowBendJoint",
    "LElbowTwist", "RWristFlop", "RWristWave", "LWristFlop", "LWristWave",
    "RThighForward", "RThighOut", "RThighTwist", "LThighForward", "LThighOut",
    "LThighTwist", "RKneeBack", "RKneeTwist", "LKneeBack", "LKneeTwist",
    "RAnkleFlop", "RAnkleWave", "LAnkleFlop", "LAnkleWave", "RToeBend",
    "LToeBend", "RFingerThumbOut", "RFingerThumb", "RFingerThumbMid", "RFingerThumbTip",
    "RFingerIndexOut", "RFingerIndex", "RFingerIndexMid", "RFingerIndexTip", "RFingerMiddleOut",
    "RFingerMiddle", "RFingerMiddleMid", "RFingerMiddleTip", "RFingerRingOut", "RFingerRing",
    "RFingerRingMid", "RFingerRingTip", "RFingerPinkyOut", "RFingerPinky", "RFingerPinkyMid",
    "RFingerPinkyTip", "LFingerThumbOut", "LFingerThumb", "LFingerThumbMid", "LFingerThumbTip",
    "LFingerIndexOut", "LFingerIndex", "LFingerIndexMid", "LFingerIndexTip", "LFingerMiddleOut",
    "LFingerMiddle", "LFingerMiddleMid", "LFingerMiddleTip", "LFingerRingOut", "LFingerRing",
    "LFingerRingMid", "LFingerRingTip", "LFingerPinkyOut", "LFingerPinky", "LFingerPinkyMid",
    "LFingerPinkyTip", "MidBrowUD", "RBrowUD", "LBrowUD", "REyeBallUD",
    "REyeBallLR", "LEyeBallUD", "LEyeBallLR", "NostrilR3tx", "NostrilL3tx",
    "CheekR2sy", "CheekL2sy", "smile3", "smile4", "LocalRotateX",
    "LocalRotateY", "LocalRotateZ", "LocalTranslateX", "LocalTranslateY", "LocalTranslateZ",
};

RegisterGroup GroupOf(int index) {
    if (index < FirstHandsIndex) return RegisterGroup::Body;
    if (index < FirstFaceIndex) return RegisterGroup::Hands;
    if (index < FirstTranslateIndex) return RegisterGroup::Face;
    return RegisterGroup::Translate;
}

// The scale tables as the start-up rules fill them.
void FillScales(int index, float& negScale, float& posScale) {
    negScale = posScale = 1;
    if (index >= 16 && index <= 21) negScale = posScale = 2;
    if (index >= 22 && index <= 41) {
        switch (index) {
        case 22: case 24: case 36: case 38: negScale = 0; posScale = 2; break;
        case 26: case 28: case 30: case 33: case 39: case 41: negScale = posScale = 2; break;
        default: break;
        }
    }
    // The three rotations, then the three translations.
    if (index >= FirstTranslateIndex && index <= FirstTranslateIndex + 2) negScale = posScale = 3.142f;
    if (index >= FirstTranslateIndex + 3) negScale = posScale = 100;
}

std::array<RegisterInfo, RegisterCount> BuildCatalogue() {
    std::array<RegisterInfo, RegisterCount> catalogue{};
    for (int i = 0; i < RegisterCount; ++i) {
        catalogue[i].name = Names[i];
        catalogue[i].group = GroupOf(i);
        FillScales(i, catalogue[i].negScale, catalogue[i].posScale);
    }
    return catalogue;
}

}  // namespace

const std::array<RegisterInfo, RegisterCount>& RegisterCatalogue() {
    static const std::array<RegisterInfo, RegisterCount> catalogue = BuildCatalogue();
    return catalogue;
}

double PositionToValue(int index, int position) {
    const RegisterInfo& r = RegisterCatalogue().at(static_cast<size_t>(index));
    if (position < 0) return static_cast<double>(r.negScale) * position / 100;
    return position * static_cast<double>(r.posScale) / 100;
}

double ValueToPosition(int index, double value) {
    const RegisterInfo& r = RegisterCatalogue().at(static_cast<size_t>(index));
    double quotient = 0;
    if (value > 0) quotient = value * 100 / r.posScale;
    else if (value < 0 && r.negScale != 0) quotient = value * 100 / r.negScale;
    if (std::isnan(quotient)) return 0;
    return std::nearbyint(quotient);  // default rounding mode: half to even
}

}  // namespace tw
