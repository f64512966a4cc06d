#include "windows/ViewOverlay.h"

#include <QCoreApplication>
#include <QPainter>
#include <algorithm>

#include "generation/HapScript.h"
#include "session/Transport.h"
#include "windows/BlockStrip.h"
#include "windows/PlayerController.h"

namespace tw {

namespace {
QString Tr(const char* text) { return QCoreApplication::translate("tw::CharacterView", text); }
}  // namespace

QRect ViewOverlay::TimelineRect(const QRect& area) {
    return QRect(area.left(), area.bottom() + 1 - TimelineHeight, area.width(), TimelineHeight);
}

QRect ViewOverlay::TimelineGripRect(const QRect& area) {
    QRect grip = TimelineRect(area);
    grip.setTop(grip.top() - TimelineGrip);
    return grip;
}

void ViewOverlay::Paint(QPainter& p, const QRect& r, const PlayerController& controller, bool focused) {
    const Player& player = controller.Playback();
    QFont small = p.font();
    small.setPointSizeF(std::max(7.0, small.pointSizeF() * 0.85));
    p.setFont(small);
    const bool transport = player.HasScript();
    const int strip = large_ && controller.Blocks().Shown() ? LargeStripHeight : TimelineHeight;
    const QRect text = r.adjusted(5, 3, -5, transport ? -3 - strip : -3);
    auto label = [&p](const QRect& box, int flags, const QString& s, const QColor& colour) {
        const QRect used = p.boundingRect(box, flags, s);
        p.fillRect(used.adjusted(-3, -1, 3, 1), QColor(0, 0, 0, 110));
        p.setPen(colour);
        p.drawText(box, flags, s);
    };
    const QString liveLabel = QString::fromStdString(player.Label());
    if (!player.Name().empty()) {
        QString state = QStringLiteral("%1  %2").arg(QString::fromStdString(player.Name()),
                                                     QString::fromStdString(FormatNumber(player.Time())));
        if (player.IsPaused()) state += Tr("  paused");
        if (player.IsLooping()) state += Tr("  loop");
        label(text, Qt::AlignLeft | Qt::AlignTop, state, QColor(225, 230, 240));
    } else if (!liveLabel.trimmed().isEmpty()) {
        label(text, Qt::AlignLeft | Qt::AlignTop, liveLabel, QColor(200, 240, 200));
    }
    if (!controller.CharacterName().isEmpty())
        label(text, Qt::AlignRight | Qt::AlignTop, controller.CharacterName(), QColor(225, 230, 240));
    if (!controller.Note().isEmpty())
        label(text, Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap, controller.Note(), QColor(255, 210, 150));
    if (transport) PaintTimeline(p, TimelineRect(r), controller);
    if (focused) {
        p.setPen(QPen(QColor(120, 190, 255, 160), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
    }
}

void ViewOverlay::PaintTimeline(QPainter& p, const QRect& bar, const PlayerController& controller) {
    // A tick at each keyframe time, the play position over them.
    const Player& player = controller.Playback();
    const TimeScale scale{player.FirstTime(), player.LastTime(), bar.width()};
    if (tickSerial_ != player.Serial() || tickWidth_ != bar.width()) {
        ticks_ = TickColumns(player.KeyTimes(), scale);
        tickSerial_ = player.Serial();
        tickWidth_ = bar.width();
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(bar, QColor(12, 14, 20, 200));
    controller.Blocks().Paint(p, BlockStrip::StripRect(bar, large_), scale.first, scale.last, large_);
    p.setPen(QColor(150, 160, 180));
    for (int column : ticks_) p.drawLine(bar.left() + column, bar.top() + 3, bar.left() + column, bar.bottom() - 2);
    const int at = bar.left() + scale.ColumnOf(player.Time());
    p.fillRect(QRect(bar.left(), bar.bottom() - 1, at - bar.left() + 1, 2), QColor(120, 190, 255));
    p.fillRect(QRect(at - 1, bar.top(), 3, bar.height()), QColor(255, 255, 255));
}

}  // namespace tw
