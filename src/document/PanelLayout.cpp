#include "document/PanelLayout.h"

#include "document/NumberText.h"
#include "document/RegisterCatalogue.h"

namespace tw {

std::optional<ScrollRange> ViewRange(int viewMode) {
    switch (viewMode) {
    // A group's view runs from its first row to the position that shows a
    // page ending just before the next group (for the face group, a position
    // above its first row, so its range runs backwards).
    case ViewAllRegisters: return ScrollRange{0, LastRegisterIndex + 1 - RowsPerPage};
    case ViewBodyGroup: return ScrollRange{0, FirstHandsIndex - RowsPerPage};
    case ViewHandsGroup: return ScrollRange{FirstHandsIndex, FirstFaceIndex - RowsPerPage};
    case ViewFaceGroup: return ScrollRange{FirstFaceIndex, FirstTranslateIndex - RowsPerPage};
    case ViewTranslateGroup: return ScrollRange{FirstTranslateIndex, FirstTranslateIndex};
    default: return std::nullopt;
    }
}

int ClampToRange(int position, ScrollRange range) {
    if (position < range.Low()) return range.Low();
    if (position > range.High()) return range.High();
    return position;
}

int LandingPosition(int position, ScrollRange range) {
    return ClampToRange(position, range) == position ? position : range.top;
}

int RowTopTwips(int index, int position) {
    return (36 * index + 372 - 36 * position) * 10;
}

bool RowShown(int topTwips) { return topTwips >= 3700 && topTwips <= 9700; }

int SliderPositionForText(int index, std::string_view text) {
    double position = ValueToPosition(index, NumericValue(text));
    if (position < -100) return -100;
    if (position > 100) return 100;
    return static_cast<int>(position);
}

}  // namespace tw
