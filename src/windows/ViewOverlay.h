// What a view of the player draws over the scene: the script's name and time
// (or the edited pose's label) and the character in the top corners, the
// note at the bottom, the timeline along the bottom edge with a tick at each
// keyframe time, and the focus frame.
#pragma once

#include <QRect>
#include <vector>

class QPainter;

namespace tw {

class PlayerController;

class ViewOverlay {
public:
    // `large`: the large window's overlay, whose strip of blocks is taller.
    explicit ViewOverlay(bool large = false) : large_(large) {}

    static constexpr int TimelineHeight = 12;  // the bar along the bottom edge
    static constexpr int TimelineGrip = 6;     // pixels above the bar that still grab it

    // The timeline's bar in a view showing its picture in `area`, and the
    // strip that grabs it.
    static QRect TimelineRect(const QRect& area);
    static QRect TimelineGripRect(const QRect& area);

    void Paint(QPainter& painter, const QRect& area, const PlayerController& player, bool focused);

private:
    void PaintTimeline(QPainter& painter, const QRect& bar, const PlayerController& player);

    bool large_;
    // The ticks' columns, kept while the script and the width stay.
    std::vector<int> ticks_;
    quint64 tickSerial_ = 0;
    int tickWidth_ = -1;
};

}  // namespace tw
