// Geometry of the register panel: the scroll range of each view, where each
// row stands for a scroll position, and where the slider window opens.
#pragma once

#include <optional>
#include <string_view>

namespace tw {

enum ViewMode { ViewAllRegisters = 0, ViewBodyGroup = 1, ViewHandsGroup = 2, ViewFaceGroup = 3,
                ViewTranslateGroup = 4 };

// Scroll positions with the thumb at the top and at the bottom. The top may be
// the larger one, in which case moving the thumb down lowers the position.
struct ScrollRange {
    int top;
    int bottom;
    int Low() const { return top < bottom ? top : bottom; }
    int High() const { return top < bottom ? bottom : top; }
};

inline constexpr int RowsPerPage = 17;

// The range of a view; none for a mode outside 0 to 4 (the range then stays).
std::optional<ScrollRange> ViewRange(int viewMode);

// A position moved to the nearer end of the range when it lies outside.
int ClampToRange(int position, ScrollRange range);

// Where the panel lands when a view's range is set: a position inside the
// range stays; one outside lands on the range's top, so a view entered from
// elsewhere starts with its first rows.
int LandingPosition(int position, ScrollRange range);

// Top of row `index`, in twips, at scroll position `position`.
int RowTopTwips(int index, int position);

// Whether a row whose top is `topTwips` lies on the page.
bool RowShown(int topTwips);

// Slider position (-100..100) for a value box's text: the value read
// leniently, converted with the register's scales and clamped to the slider.
int SliderPositionForText(int index, std::string_view text);

}  // namespace tw
