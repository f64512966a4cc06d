// The rules by which the timing and motion fields correct themselves and keep
// the finish time up to date. Texts in, texts out.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tw {

// Finish time = start time + time between keyframes, both read leniently.
std::string FinishTimeText(std::string_view startTime, std::string_view dKeyframe);

// A field's text replaced by the decimal text of its numeric value
// (" 2.50s" -> "2.5"), as on leaving the start time or the frame rate.
std::string NormalisedNumberText(std::string_view text);

// The time between keyframes snapped down to a whole number of frames at the
// given frame rate. No value when the frame rate is not a number or is 0: the
// duration then stays as it is.
std::optional<std::string> SnappedDurationText(std::string_view dKeyframe,
                                               std::string_view framesPSec);

// The acceleration text after a change: no value for a lone "-" (left
// standing while a negative number is typed), else the normalised text.
std::optional<std::string> NormalisedAccelerationText(std::string_view text);

}  // namespace tw
