// How long one frame of the character view's figure takes to draw at the
// view's size (pose maths and painting into an image), against the same frame
// drawn the plain way: every shape built as a QPainterPath with its colours
// worked out on the spot, a fresh shape list each frame. Both must give the
// same pixels (the program exits with 1 when they do not). Reports medians
// of alternating rounds and the per-round ratio.
//
// --quick (or TW_BENCH_QUICK=1): one round of a few frames, pixels checked.

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "Rounds.h"
#include "figure/Pose.h"
#include "windows/FigurePainter.h"

namespace {

constexpr tw::Viewport ViewSize{273, 337};
const QColor Background(50, 56, 70);

tw::PoseValues WalkingPose(int frame) {
    tw::PoseValues v{};
    const float s = std::sin(frame * 0.2f);
    auto set = [&v](std::string_view name, float value) {
        for (int i = 0; i < tw::RegisterCount; ++i)
            if (tw::RegisterCatalogue()[i].name == name) v[i] = value;
    };
    set("RThighForward", 0.5f * s);
    set("LThighForward", -0.5f * s);
    set("RKneeBack", 0.4f + 0.3f * s);
    set("RShoForward", -0.4f * s);
    set("LShoForward", 0.4f * s);
    set("LElbowBendJoint", 0.8f);
    set("HeadTwist", 0.3f * s);
    set("smile3", 0.5f);
    set("RFingerIndex", 0.8f);
    return v;
}

void FastFrame(QImage& image, const tw::PoseValues& pose, std::vector<tw::DrawPrimitive>& shapes,
               const tw::FigurePainter& painter) {
    image.fill(Background);
    QPainter p(&image);
    tw::BuildFigure(pose, ViewSize, shapes);
    painter.Paint(p, shapes);
}

// The same drawing without the painter's tables or the reused list.
void PlainFrame(QImage& image, const tw::PoseValues& pose, const tw::FigureLook& look) {
    image.fill(Background);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    std::vector<tw::DrawPrimitive> shapes;
    tw::BuildFigure(pose, ViewSize, shapes);
    for (const tw::DrawPrimitive& s : shapes) {
        const int level = tw::ShadeLevelOf(s.shade);
        const QColor fill = tw::ShadedColour(look[s.material], level);
        const QColor light = tw::HighlightColour(look[s.material], level);
        p.save();
        if (s.shape == tw::Shape::Segment) {
            const QPointF a(s.points[0].x, s.points[0].y), b(s.points[1].x, s.points[1].y);
            QPainterPath line(a);
            line.lineTo(b);
            p.strokePath(line, QPen(fill, s.width, Qt::SolidLine, Qt::RoundCap));
            if (s.width >= 4) {
                QPointF n(-(b.y() - a.y()), b.x() - a.x());
                const double len = std::hypot(n.x(), n.y());
                n = len > 0 ? n / len : QPointF(-0.7, -0.7);
                if (n.x() + n.y() > 0) n = -n;
                const QPointF o = n * (s.width * 0.18);
                QPainterPath stripe(a + o);
                stripe.lineTo(b + o);
                p.strokePath(stripe, QPen(light, s.width * 0.34, Qt::SolidLine, Qt::RoundCap));
            }
        } else if (s.shape == tw::Shape::Polygon) {
            QPolygonF corners;
            for (int i = 0; i < s.count; ++i) corners << QPointF(s.points[i].x, s.points[i].y);
            p.setPen(QPen(fill.darker(125), 1.0));
            p.setBrush(fill);
            p.drawPolygon(corners);
        } else {
            p.translate(s.points[0].x, s.points[0].y);
            p.rotate(s.angle * 180 / M_PI);
            p.setPen(Qt::NoPen);
            if (s.material == tw::Material::Skin) {
                QRadialGradient g(QPointF(-0.35 * s.width, -0.45 * s.height), 1.4 * std::max(s.width, s.height));
                g.setColorAt(0, light);
                g.setColorAt(1, fill.darker(118));
                p.setBrush(g);
            } else {
                p.setBrush(fill);
            }
            p.drawEllipse(QPointF(0, 0), s.width, s.height);
        }
        p.restore();
    }
}

}  // namespace

// Both sides are warmed alike, then run in turn (view painter, plain painter,
// pose maths alone, ...), each round drawing the same frames; the figures are
// medians per frame and the median and range of the per-round ratio. After
// the rounds the last frames of both sides are compared once more.
int main(int argc, char** argv) {
    const bool quick = bench::TakeQuickFlag(argc, argv);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    QImage fast(ViewSize.width, ViewSize.height, QImage::Format_ARGB32_Premultiplied);
    QImage plain(ViewSize.width, ViewSize.height, QImage::Format_ARGB32_Premultiplied);
    const tw::FigurePainter painter;
    std::vector<tw::DrawPrimitive> shapes;

    // Same pixels, frame for frame.
    int differing = 0;
    constexpr int Compared = 40;
    for (int f = 0; f < Compared; ++f) {
        FastFrame(fast, WalkingPose(f), shapes, painter);
        PlainFrame(plain, WalkingPose(f), painter.Look());
        if (fast != plain) ++differing;
    }

    const int rounds = bench::RoundsFor(quick, 15);
    const int frames = quick ? 20 : 200;
    for (int f = 0; f < frames; ++f) {  // warm both sides alike
        FastFrame(fast, WalkingPose(f), shapes, painter);
        PlainFrame(plain, WalkingPose(f), painter.Look());
    }
    std::vector<tw::DrawPrimitive> poseShapes;
    const std::vector<bench::Side> sides = {
        {"view painter (BuildFigure + FigurePainter)",
         [&] {
             for (int f = 0; f < frames; ++f) FastFrame(fast, WalkingPose(f), shapes, painter);
         }},
        {"plain QPainterPath painter", [&] {
             for (int f = 0; f < frames; ++f) PlainFrame(plain, WalkingPose(f), painter.Look());
         }},
        {"pose maths alone (BuildFigure)", [&] {
             for (int f = 0; f < frames; ++f) tw::BuildFigure(WalkingPose(f), ViewSize, poseShapes);
         }},
    };
    const bench::Times times = bench::Alternate(rounds, sides);
    // The last frame each side drew is the same frame.
    const bool lastSame = fast == plain;
    char title[160];
    std::snprintf(title, sizeof title, "Figure frames %dx%d, %zu shapes, %d frames per side per round",
                  ViewSize.width, ViewSize.height, shapes.size(), frames);
    const std::vector<double> medians = bench::Report(
        title, rounds, sides, {bench::Role::Ours, bench::Role::Baseline, bench::Role::Ours}, times);
    std::printf("  per frame: view painter %.1f us, plain painter %.1f us, pose maths alone %.1f us\n",
                medians[0] * 1e3 / frames, medians[1] * 1e3 / frames, medians[2] * 1e3 / frames);
    const bool same = differing == 0 && lastSame;
    std::printf("  same result: %s (%d frames compared pixel for pixel, %d differing; last timed frames %s)\n",
                same ? "yes" : "NO", Compared, differing, lastSame ? "the same" : "DIFFER");
    return same ? 0 : 1;
}
