// The fixed, ordered list of the 105 animatable registers with their groups and
// slider scales, and the conversions between slider positions and values.
#pragma once

#include <array>
#include <string_view>

namespace tw {

enum class RegisterGroup { Body, Hands, Face, Translate };

struct RegisterInfo {
    std::string_view name;
    RegisterGroup group;
    float negScale;  // value at slider position -100, as a magnitude
    float posScale;  // value at slider position +100
};

inline constexpr int LastRegisterIndex = 104;
inline constexpr int RegisterCount = LastRegisterIndex + 1;

// Where each group starts in index order: Body from 0, then Hands, Face and
// Translate (the last through LastRegisterIndex).
inline constexpr int FirstHandsIndex = 46;
inline constexpr int FirstFaceIndex = 86;
inline constexpr int FirstTranslateIndex = 99;

// The catalogue in index order (the panel's row order), scales filled by the
// start-up rules.
const std::array<RegisterInfo, RegisterCount>& RegisterCatalogue();

// Slider position (-100..100) to register value.
double PositionToValue(int index, int position);

// Register value to slider position: the quotient rounded half to even, not
// limited to -100..100. A negative value on a register without a negative
// scale gives 0.
double ValueToPosition(int index, double value);

}  // namespace tw
