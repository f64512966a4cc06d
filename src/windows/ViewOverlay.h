// What a view of the player draws over the scene: the script's name and time
// (or the edited pose's label) and the character in the top corners, the
// note at the bottom, the timeline along the bottom edge with a tick at each
// keyframe time, and the focus frame.
#pragma once

#include <QImage>
#include <QRect>
#include <memory>
#include <vector>

class QPainter;

namespace tw {

class PlayerController;

class ViewOverlay {
public:
    // `large`: the large window's overlay, whose strip of blocks is taller.
    explicit ViewOverlay(bool large = false) : band_(large ? LargeBand : SmallBand), large_(large) {}

    static constexpr int TimelineHeight = 12;  // the bar along the bottom edge
    static constexpr int TimelineGrip = 6;     // pixels above the bar that still grab it
    static constexpr int SmallBand = 24;       // the waveform's height in the small view
    static constexpr int LargeBand = 64;       // and in the large window

    // The timeline's bar in a view showing its picture in `area`, and the
    // strip that grabs it.
    static QRect TimelineRect(const QRect& area);
    // With a speech track the grip takes in its waveform band of `band` pixels.
    // `lift`: how far the large window's strip of blocks rises above the bar.
    static QRect TimelineGripRect(const QRect& area, int band = 0, int lift = 0);
    // The waveform band above the timeline, `band` pixels high, and the thin
    // band above it showing the whole sound beside the script's span.
    static QRect WaveRect(const QRect& area, int band, int lift = 0);
    static QRect OverviewRect(const QRect& area, int band, int lift = 0);
    // The pixels the strip of blocks rises above the bar (the large window's
    // strip, while a file's blocks are shown), for the bands above it.
    static int LiftOf(const PlayerController& player, bool large);
    // The band's height in a view whose waveform is `band` pixels high, when
    // `player` has a speech track to show (else 0).
    static int BandOf(const PlayerController& player, int band);

    void Paint(QPainter& painter, const QRect& area, const PlayerController& player, bool focused);

private:
    void PaintTimeline(QPainter& painter, const QRect& bar, const PlayerController& player);
    void PaintSpeech(QPainter& painter, const QRect& area, const PlayerController& player);
    void PaintMarks(QPainter& painter, const QRect& wave, const PlayerController& player);

    int band_;
    // The waveform pictures, kept while the sound, span, offset and size stay.
    QImage wave_, overview_;
    const void* waveOf_ = nullptr;
    double waveFirst_ = 0, waveLast_ = 0, waveOffset_ = 0;
    QSize waveSize_;

    bool large_;
    // The ticks' columns, kept while the script and the width stay.
    std::vector<int> ticks_;
    quint64 tickSerial_ = 0;
    int tickWidth_ = -1;
};

}  // namespace tw
