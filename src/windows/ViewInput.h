// The mouse, wheel, keys and context menu of a view of the player: a drag
// turns the camera (Shift or the middle button pans), the wheel zooms, the
// timeline scrubs, Space pauses, the arrows step between keyframe times, L
// loops, Home brings back the start-up camera. Each view has its own, so a
// drag in one never mixes with a drag in the other.
#pragma once

#include <QPoint>
#include <QRect>
#include <cstddef>
#include <functional>
#include <optional>

class QEvent;
class QWidget;

namespace tw {

class PlayerController;

class ViewInput {
public:
    // `openLarge`, when given, is offered in the menu and run on a
    // double-click outside the timeline. `large`: the large window's input,
    // whose strip of blocks is taller and whose waveform band is higher; the
    // band scrubs as the timeline does while a speech track is shown.
    ViewInput(PlayerController& player, std::function<void()> openLarge = {}, bool large = false);

    // Input on `surface`, which shows the picture in `area`; true when used.
    bool Handle(QWidget* surface, const QRect& area, QEvent* event);

private:
    bool Press(QWidget* surface, const QRect& area, QEvent* event);
    bool Move(const QRect& area, QEvent* event);
    bool Key(QEvent* event);
    void ShowMenu(QWidget* surface, const QPoint& globalPos, std::optional<std::size_t> block);
    // The file's block under `pos`, when it is on the strip of blocks.
    std::optional<std::size_t> BlockUnder(const QRect& area, const QPoint& pos) const;
    void Scrub(const QRect& area, int x);

    PlayerController& player_;
    std::function<void()> openLarge_;
    bool large_;
    int band_;
    enum class Drag { None, Pending, Orbit, Pan, Scrub };
    Drag drag_ = Drag::None;
    QPoint pressPos_, lastPos_;
};

}  // namespace tw
