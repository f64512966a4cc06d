#include "windows/ViewOverlay.h"

#include <QCoreApplication>
#include <QPainter>
#include <algorithm>

#include "generation/HapScript.h"
#include "render/Waveform.h"
#include "session/Transport.h"
#include "windows/BlockStrip.h"
#include "sound/Marks.h"
#include "windows/PlayerController.h"

namespace tw {

namespace {
QString Tr(const char* text) { return QCoreApplication::translate("tw::CharacterView", text); }
}  // namespace

QRect ViewOverlay::TimelineRect(const QRect& area) {
    return QRect(area.left(), area.bottom() + 1 - TimelineHeight, area.width(), TimelineHeight);
}

QRect ViewOverlay::TimelineGripRect(const QRect& area, int band, int lift) {
    QRect grip = TimelineRect(area);
    grip.setTop(grip.top() - TimelineGrip - band - lift);
    return grip;
}

QRect ViewOverlay::WaveRect(const QRect& area, int band, int lift) {
    const QRect bar = TimelineRect(area);
    return QRect(area.left(), bar.top() - lift - band, area.width(), band);
}

QRect ViewOverlay::OverviewRect(const QRect& area, int band, int lift) {
    const QRect wave = WaveRect(area, band, lift);
    const int height = std::max(4, band / 8);
    return QRect(area.left(), wave.top() - height, area.width(), height);
}

int ViewOverlay::LiftOf(const PlayerController& player, bool large) {
    return large && player.Blocks().Shown() ? LargeStripHeight - TimelineHeight : 0;
}

int ViewOverlay::BandOf(const PlayerController& player, int band) {
    return player.Playback().HasScript() && player.Speech().Peaks() ? band : 0;
}

void ViewOverlay::Paint(QPainter& p, const QRect& r, const PlayerController& controller, bool focused) {
    const Player& player = controller.Playback();
    QFont small = p.font();
    small.setPointSizeF(std::max(7.0, small.pointSizeF() * 0.85));
    p.setFont(small);
    const bool transport = player.HasScript();
    const int lift = transport ? LiftOf(controller, large_) : 0;
    const int band = BandOf(controller, band_);
    const int below =
        transport ? TimelineHeight + lift + (band > 0 ? band + OverviewRect(r, band, lift).height() : 0) : 0;
    const QRect text = r.adjusted(5, 3, -5, -3 - below);
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
        label(text, Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap, controller.Note(),
              QColor(255, 210, 150));
    if (band > 0) PaintSpeech(p, r, controller);
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

namespace tw {

void ViewOverlay::PaintSpeech(QPainter& p, const QRect& r, const PlayerController& controller) {
    const Player& player = controller.Playback();
    const SpeechTrack& speech = controller.Speech();
    const std::shared_ptr<const PeakPyramid> peaks = speech.Peaks();
    const int lift = LiftOf(controller, large_);
    const QRect wave = WaveRect(r, band_, lift), overview = OverviewRect(r, band_, lift);
    const double first = player.FirstTime(), last = player.LastTime(), offset = speech.Offset();
    const double soundStart = offset, soundEnd = offset + peaks->Clip().Seconds();
    // The whole of script and sound, for the overview band.
    const double allFirst = std::min(first, soundStart), allLast = std::max(last, soundEnd);
    if (waveOf_ != peaks.get() || waveFirst_ != first || waveLast_ != last || waveOffset_ != offset ||
        waveSize_ != wave.size()) {
        wave_ =
            WaveformImage(*peaks, first, last, offset, wave.width(), wave.height(), QColor(120, 220, 160));
        overview_ = WaveformImage(*peaks, allFirst, allLast, offset, overview.width(), overview.height(),
                                  QColor(150, 170, 200));
        waveOf_ = peaks.get();
        waveFirst_ = first;
        waveLast_ = last;
        waveOffset_ = offset;
        waveSize_ = wave.size();
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(wave, QColor(8, 10, 16, 190));
    p.drawImage(wave.topLeft(), wave_);
    // The overview: the script's span plain, the sound outside it tinted.
    p.fillRect(overview, QColor(8, 10, 16, 190));
    const TimeScale all{allFirst, allLast, overview.width()};
    const int spanFrom = overview.left() + all.ColumnOf(first), spanTo = overview.left() + all.ColumnOf(last);
    p.drawImage(overview.topLeft(), overview_);
    p.fillRect(QRect(overview.left(), overview.top(), spanFrom - overview.left(), overview.height()),
               QColor(230, 120, 60, 120));
    p.fillRect(QRect(spanTo + 1, overview.top(), overview.right() - spanTo, overview.height()),
               QColor(230, 120, 60, 120));
    PaintMarks(p, wave, controller);
    // The play position runs through the waveform too.
    const TimeScale scale{first, last, wave.width()};
    const int at = wave.left() + scale.ColumnOf(player.Time());
    p.fillRect(QRect(at, wave.top(), 1, wave.height()), QColor(255, 255, 255, 200));
}

void ViewOverlay::PaintMarks(QPainter& p, const QRect& wave, const PlayerController& controller) {
    const std::vector<WordMark>& marks = controller.Speech().Marks();
    if (marks.empty()) return;
    const Player& player = controller.Playback();
    const TimeScale scale{player.FirstTime(), player.LastTime(), wave.width()};
    const double offset = controller.Speech().Offset();
    std::vector<int> columns;
    std::vector<int> widths;
    std::vector<const WordMark*> inSpan;
    const QFontMetrics metrics = p.fontMetrics();
    for (const WordMark& mark : marks) {
        const double t = mark.start + offset;
        if (t < player.FirstTime() || t > player.LastTime()) continue;
        inSpan.push_back(&mark);
        columns.push_back(scale.ColumnOf(t));
        widths.push_back(metrics.horizontalAdvance(QString::fromStdString(mark.text)) + 8);
    }
    const std::vector<bool> shown = ShownLabels(columns, widths, 4);
    const QColor flag(255, 200, 90);
    for (std::size_t i = 0; i < inSpan.size(); ++i) {
        const int x = wave.left() + columns[i];
        p.fillRect(QRect(x, wave.top(), 1, wave.height()), flag);
        const QPoint tip[] = {{x + 1, wave.top()}, {x + 6, wave.top() + 3}, {x + 1, wave.top() + 6}};
        p.setPen(Qt::NoPen);
        p.setBrush(flag);
        p.drawPolygon(tip, 3);
        if (!shown[i]) continue;
        p.setPen(QColor(255, 230, 170));
        p.drawText(QPoint(x + 8, wave.top() + metrics.ascent()), QString::fromStdString(inSpan[i]->text));
    }
    p.setBrush(Qt::NoBrush);
}

}  // namespace tw
