#include "document/FieldRules.h"

#include <cmath>

#include "document/NumberText.h"

namespace tw {

std::string FinishTimeText(std::string_view startTime, std::string_view dKeyframe) {
    return DecimalText(NumericValue(startTime) + NumericValue(dKeyframe));
}

std::string NormalisedNumberText(std::string_view text) {
    return DecimalText(NumericValue(text));
}

std::optional<std::string> SnappedDurationText(std::string_view dKeyframe,
                                               std::string_view framesPSec) {
    std::optional<double> rate = StrictNumber(framesPSec);
    if (!rate || *rate == 0) return std::nullopt;
    double duration = NumericValue(dKeyframe);
    // The product is taken at 15 significant digits before flooring, so that a
    // duration such as 2.3 s at 100 frames per second (2.3 x 100 is
    // 229.99999999999997 in binary) keeps its 230 frames.
    double frames = NumericValue(DecimalText(duration * *rate));
    double snapped = std::floor(frames) / *rate;
    if (!std::isfinite(snapped)) return std::nullopt;
    return DecimalText(snapped);
}

std::optional<std::string> NormalisedAccelerationText(std::string_view text) {
    if (text == "-") return std::nullopt;
    return NormalisedNumberText(text);
}

}  // namespace tw
