#include "windows/ViewInput.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QToolTip>
#include <QWheelEvent>
#include <QWidget>

#include "session/Transport.h"
#include "windows/ExportDialog.h"
#include "windows/PlayerController.h"
#include "windows/SpeechMenu.h"
#include "windows/ViewOverlay.h"

namespace tw {

namespace {
constexpr int DragThreshold = 3;  // a press that moves less is a click
// How near a tick, in pixels, a click or drag on the timeline lands on it.
constexpr int TickReach = 2;
QString Tr(const char* text) { return QCoreApplication::translate("tw::CharacterView", text); }
}  // namespace

ViewInput::ViewInput(PlayerController& player, std::function<void()> openLarge, bool large)
    : player_(player), openLarge_(std::move(openLarge)), large_(large),
      band_(large ? ViewOverlay::LargeBand : ViewOverlay::SmallBand) {}

std::optional<std::size_t> ViewInput::BlockUnder(const QRect& area, const QPoint& pos) const {
    const Player& p = player_.Playback();
    const QRect bar = ViewOverlay::TimelineRect(area);
    const QRect strip = large_ ? BlockStrip::StripRect(bar, true) : ViewOverlay::TimelineGripRect(area);
    if (!p.HasScript() || !strip.contains(pos)) return std::nullopt;
    return player_.Blocks().BlockAt(strip, p.FirstTime(), p.LastTime(), pos.x());
}

void ViewInput::Scrub(const QRect& area, int x) {
    const Player& p = player_.Playback();
    // Keyframe ticks and word marks alike catch a click within reach.
    player_.ScrubTo(ScrubTime(player_.SnapTimes(), TimeScale{p.FirstTime(), p.LastTime(), area.width()},
                              x - area.left(), TickReach));
}

bool ViewInput::Handle(QWidget* surface, const QRect& area, QEvent* e) {
    switch (e->type()) {
    case QEvent::MouseButtonPress: return Press(surface, area, e);
    case QEvent::MouseMove: return Move(area, e);
    case QEvent::MouseButtonRelease:
        if (drag_ == Drag::None) return false;
        drag_ = Drag::None;
        return true;
    case QEvent::MouseButtonDblClick: {
        auto* m = static_cast<QMouseEvent*>(e);
        if (m->button() != Qt::LeftButton) return false;
        if (player_.Playback().HasScript() &&
            ViewOverlay::TimelineGripRect(area, ViewOverlay::BandOf(player_, band_), ViewOverlay::LiftOf(player_, large_))
                .contains(m->position().toPoint())) {
            drag_ = Drag::Scrub;
            return true;
        }
        if (openLarge_) openLarge_();
        return true;
    }
    case QEvent::Wheel: {
        const int delta = static_cast<QWheelEvent*>(e)->angleDelta().y();
        if (delta == 0) return false;
        player_.SetCamera(Zoomed(player_.Scene().Camera(), delta / 120.0f));
        return true;
    }
    case QEvent::KeyPress: return Key(e);
    case QEvent::ContextMenu: {
        auto* c = static_cast<QContextMenuEvent*>(e);
        ShowMenu(surface, c->globalPos(), BlockUnder(area, c->pos()));
        return true;
    }
    case QEvent::ToolTip: {
        auto* h = static_cast<QHelpEvent*>(e);
        const std::optional<std::size_t> block = BlockUnder(area, h->pos());
        if (block)
            QToolTip::showText(h->globalPos(), player_.Blocks().ToolTip(*block), surface);
        else
            QToolTip::hideText();
        return true;
    }
    case QEvent::FocusIn:
    case QEvent::FocusOut:
        surface->update();
        return false;
    default: return false;
    }
}

bool ViewInput::Press(QWidget* surface, const QRect& area, QEvent* e) {
    auto* m = static_cast<QMouseEvent*>(e);
    const QPoint pos = m->position().toPoint();
    pressPos_ = lastPos_ = pos;
    surface->setFocus(Qt::MouseFocusReason);
    if (m->button() == Qt::LeftButton && player_.Playback().HasScript() &&
        ViewOverlay::TimelineGripRect(area, ViewOverlay::BandOf(player_, band_), ViewOverlay::LiftOf(player_, large_)).contains(pos)) {
        drag_ = Drag::Scrub;
        Scrub(area, pos.x());
    } else if (m->button() == Qt::MiddleButton ||
               (m->button() == Qt::LeftButton && (m->modifiers() & Qt::ShiftModifier))) {
        drag_ = Drag::Pan;
    } else if (m->button() == Qt::LeftButton) {
        drag_ = Drag::Pending;
    } else {
        return false;
    }
    return true;
}

bool ViewInput::Move(const QRect& area, QEvent* e) {
    if (drag_ == Drag::None) return false;
    const QPoint pos = static_cast<QMouseEvent*>(e)->position().toPoint();
    if (drag_ == Drag::Pending && (pos - pressPos_).manhattanLength() >= DragThreshold) drag_ = Drag::Orbit;
    const QPoint delta = pos - lastPos_;
    const ViewCamera& camera = player_.Scene().Camera();
    switch (drag_) {
    case Drag::Orbit:
        lastPos_ = pos;
        player_.SetCamera(Orbited(camera, delta.x(), delta.y()));
        break;
    case Drag::Pan:
        lastPos_ = pos;
        player_.SetCamera(Panned(camera, delta.x(), delta.y(), FitScale({area.width(), area.height()})));
        break;
    case Drag::Scrub:
        // Held at the timeline's ends when the mouse leaves the view.
        Scrub(area, pos.x());
        break;
    case Drag::None:
    case Drag::Pending: break;
    }
    return true;
}

bool ViewInput::Key(QEvent* e) {
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    if (k->key() == Qt::Key_Home) {
        player_.SetCamera(StartupCamera());
        return true;
    }
    if (!player_.Playback().HasScript()) return false;
    switch (k->key()) {
    case Qt::Key_Space: player_.TogglePause(); return true;
    case Qt::Key_Left: player_.StepBack(); return true;
    case Qt::Key_Right: player_.StepForward(); return true;
    case Qt::Key_L: player_.ToggleLoop(); return true;
    default: return false;
    }
}

void ViewInput::ShowMenu(QWidget* surface, const QPoint& globalPos, std::optional<std::size_t> block) {
    QMenu menu(surface);
    menu.setObjectName(QStringLiteral("CharacterViewMenu"));
    if (block) player_.Blocks().AddActions(menu, *block);
    const struct {
        const char* text;
        CameraPreset preset;
    } presets[] = {{"Front", CameraPreset::Front},
                   {"Side", CameraPreset::Side},
                   {"Three-quarter", CameraPreset::ThreeQuarter},
                   {"Top", CameraPreset::Top}};
    for (const auto& preset : presets) {
        const CameraPreset which = preset.preset;
        menu.addAction(Tr(preset.text), &player_, [this, which] { player_.SetCamera(PresetCamera(which)); });
    }
    menu.addSeparator();
    QAction* ghosts = menu.addAction(Tr("Ghosts of First and Last Pose"), &player_, [this] { player_.ToggleGhosts(); });
    ghosts->setCheckable(true);
    ghosts->setChecked(player_.Scene().Ghosts());
    QAction* loop = menu.addAction(Tr("Loop (L)"), &player_, [this] { player_.ToggleLoop(); });
    AddSpeechEntries(menu, surface, player_);
    loop->setCheckable(true);
    loop->setChecked(player_.Playback().IsLooping());
    loop->setEnabled(player_.Playback().HasScript());
    menu.addSeparator();
    AddExportEntry(menu, player_, surface);
    if (openLarge_) {
        menu.addAction(Tr("Open Large"), &player_, [this] { openLarge_(); });
    }
    menu.exec(globalPos);
}

}  // namespace tw
