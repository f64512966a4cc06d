// How long one frame of the character view's figure takes to draw (pose
// maths and painting into an image), at the main window's view size and at
// 1920 x 1080, without and with the ghosts of the first and last pose,
// against the same frame drawn the plain way: every shape drawn with a pen
// and brush made for it and its colours worked out on the spot, a fresh
// shape list each frame, and the ghosts on fresh layers of the whole size,
// one after the other on one thread. Both ways must give the same pixels
// (the program exits with 1 when they do not). "Ghosts drawn anew" redraws
// the ghost layer in every frame, as while the camera turns; during playback
// the view keeps the layer and only lays it down ("kept ghosts").
//
// The limit beside the figure: the same image cleared and the same shapes
// drawn, antialiased, in one colour, from a list made once (see LimitFrame).
//
// All sides of one size run in alternating rounds; the figures are medians
// per frame and the median and range of the per-round ratios.
// --quick (or TW_BENCH_QUICK=1): one round of a few frames, pixels checked.

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRadialGradient>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "Rounds.h"
#include "figure/Pose.h"
#include "render/FigurePainter.h"

namespace {

constexpr tw::Viewport ViewSize{273, 337};
constexpr tw::Viewport LargeSize{1920, 1080};
const QColor Background(50, 56, 70);
constexpr double GhostOpacity = 0.38;

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
               const tw::FigurePainter& painter, const tw::GhostLayer* ghosts = nullptr) {
    image.fill(Background);
    QPainter p(&image);
    if (ghosts && !ghosts->image.isNull()) {
        p.setOpacity(GhostOpacity);
        p.drawImage(ghosts->at, ghosts->image);
        p.setOpacity(1);
    }
    tw::BuildFigure(pose, {image.width(), image.height()}, shapes);
    painter.Paint(p, shapes);
}

// A limb's line with round ends, as the view draws it (a line with flat ends
// and a disc at each end), with a pen and brush made for it.
void PlainCapsule(QPainter& p, QPointF a, QPointF b, double width, const QColor& colour) {
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(a, b);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(a, width / 2, width / 2);
    p.drawEllipse(b, width / 2, width / 2);
}

// The plain ghosts: each pose on a fresh layer of the whole size, one after
// the other on one thread, every shape drawn with a pen or brush made for it;
// the first laid under the last.
QImage PlainGhosts(QSize size, const tw::PoseValues& first, const tw::PoseValues& last) {
    auto silhouette = [size](const tw::PoseValues& pose, const QColor& tint) {
        QImage layer(size, QImage::Format_ARGB32_Premultiplied);
        layer.fill(Qt::transparent);
        QPainter p(&layer);
        p.setRenderHint(QPainter::Antialiasing, true);
        std::vector<tw::DrawPrimitive> shapes;
        tw::BuildFigure(pose, {size.width(), size.height()}, shapes);
        auto at = [](tw::Point2 point) { return QPointF(point.x, point.y); };
        for (const tw::DrawPrimitive& s : shapes) {
            p.save();
            if (s.shape == tw::Shape::Segment) {
                PlainCapsule(p, at(s.points[0]), at(s.points[1]), s.width, tint);
            } else if (s.shape == tw::Shape::Polygon) {
                QPolygonF corners;
                for (int i = 0; i < s.count; ++i) corners << at(s.points[i]);
                p.setPen(QPen(tint, 1, Qt::SolidLine, Qt::RoundCap));
                p.setBrush(tint);
                p.drawPolygon(corners);
            } else if (s.material == tw::Material::Skin || s.material == tw::Material::Hair) {
                p.translate(at(s.points[0]));
                p.rotate(s.angle * 180 / M_PI);
                p.setPen(Qt::NoPen);
                p.setBrush(tint);
                p.drawEllipse(QPointF(0, 0), s.width, s.height);
            }
            p.restore();
        }
        return layer;
    };
    QImage layer = silhouette(last, tw::LastGhostTint);
    QPainter p(&layer);
    p.setCompositionMode(QPainter::CompositionMode_DestinationOver);
    p.drawImage(0, 0, silhouette(first, tw::FirstGhostTint));
    return layer;
}

// What any frame of the figure must at least cost: the image cleared
// (QImage::fill) and every shape of the pose drawn once, antialiased, as the
// view draws it (a limb as a line and two discs, a polygon, an ellipse), in
// one colour with one pen and brush. The shapes come from a list made once,
// so no pose maths; no shading, no highlight stripes, no gradient. The view
// does all of this and more in every frame.
void LimitFrame(QImage& image, const std::vector<tw::DrawPrimitive>& shapes) {
    image.fill(Background);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QColor colour(224, 172, 140);
    QPen stroke(colour, 1, Qt::SolidLine, Qt::FlatCap);
    const QPen edge(colour, 1.0);
    const QTransform base = p.transform();
    for (const tw::DrawPrimitive& s : shapes) {
        if (s.shape == tw::Shape::Segment) {
            tw::DrawCapsule(p, stroke, QPointF(s.points[0].x, s.points[0].y),
                            QPointF(s.points[1].x, s.points[1].y), s.width, colour);
        } else if (s.shape == tw::Shape::Polygon) {
            std::array<QPointF, 8> corners;
            for (int i = 0; i < s.count; ++i) corners[i] = QPointF(s.points[i].x, s.points[i].y);
            p.setPen(edge);
            p.setBrush(colour);
            p.drawPolygon(corners.data(), s.count);
        } else {
            p.setTransform(QTransform(base).translate(s.points[0].x, s.points[0].y).rotateRadians(s.angle));
            p.setPen(Qt::NoPen);
            p.setBrush(colour);
            p.drawEllipse(QPointF(0, 0), s.width, s.height);
            p.setTransform(base);
        }
    }
}

// The same drawing without the painter's tables or the reused list.
void PlainFrame(QImage& image, const tw::PoseValues& pose, const tw::FigureLook& look,
                const QImage* ghosts = nullptr) {
    image.fill(Background);
    QPainter p(&image);
    if (ghosts) {
        p.setOpacity(GhostOpacity);
        p.drawImage(0, 0, *ghosts);
        p.setOpacity(1);
    }
    p.setRenderHint(QPainter::Antialiasing, true);
    std::vector<tw::DrawPrimitive> shapes;
    tw::BuildFigure(pose, {image.width(), image.height()}, shapes);
    for (const tw::DrawPrimitive& s : shapes) {
        const int level = tw::ShadeLevelOf(s.shade);
        const QColor fill = tw::ShadedColour(look[s.material], level);
        const QColor light = tw::HighlightColour(look[s.material], level);
        p.save();
        if (s.shape == tw::Shape::Segment) {
            const QPointF a(s.points[0].x, s.points[0].y), b(s.points[1].x, s.points[1].y);
            PlainCapsule(p, a, b, s.width, fill);
            if (s.width >= 4) {
                QPointF n(-(b.y() - a.y()), b.x() - a.x());
                const double len = std::hypot(n.x(), n.y());
                n = len > 0 ? n / len : QPointF(-0.7, -0.7);
                if (n.x() + n.y() > 0) n = -n;
                const QPointF o = n * (s.width * 0.18);
                PlainCapsule(p, a + o, b + o, s.width * 0.34, light);
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

// The sides `which` of a comparison, with their times, for one report.
std::vector<double> ReportSome(const std::string& title, int rounds, const std::vector<bench::Side>& sides,
                               const bench::Times& times, const std::vector<std::size_t>& which,
                               const std::vector<bench::Role>& roles) {
    std::vector<bench::Side> some;
    bench::Times someTimes;
    for (std::size_t i : which) {
        some.push_back(sides[i]);
        someTimes.push_back(times[i]);
    }
    return bench::Report(title, rounds, some, roles, someTimes);
}

// One size: the pixels of both ways compared frame for frame, then every side
// timed in alternating rounds. False when any pixels differ.
bool MeasureSize(tw::Viewport size, int rounds, int frames) {
    QImage fast(size.width, size.height, QImage::Format_ARGB32_Premultiplied);
    QImage plain(size.width, size.height, QImage::Format_ARGB32_Premultiplied);
    QImage bound(size.width, size.height, QImage::Format_ARGB32_Premultiplied);
    const tw::FigurePainter painter;
    std::vector<tw::DrawPrimitive> shapes;
    tw::GhostLayer layer;
    const tw::PoseValues first = WalkingPose(0), last = WalkingPose(15);
    const QSize qsize(size.width, size.height);

    // The limit's shapes: the poses of the frames timed, made before timing.
    std::vector<std::vector<tw::DrawPrimitive>> limitShapes(static_cast<std::size_t>(frames));
    for (int f = 0; f < frames; ++f)
        tw::BuildFigure(WalkingPose(f), size, limitShapes[static_cast<std::size_t>(f)]);

    constexpr int Compared = 20;
    int differing = 0;
    for (int f = 0; f < Compared; ++f) {
        FastFrame(fast, WalkingPose(f), shapes, painter);
        PlainFrame(plain, WalkingPose(f), painter.Look());
        differing += fast != plain;
        tw::DrawGhosts(layer, qsize, first, last, tw::StartupCamera());
        FastFrame(fast, WalkingPose(f), shapes, painter, &layer);
        const QImage plainLayer = PlainGhosts(qsize, first, last);
        PlainFrame(plain, WalkingPose(f), painter.Look(), &plainLayer);
        differing += fast != plain;
    }

    const std::vector<bench::Side> sides = {
        {"view: figure", [&] { for (int f = 0; f < frames; ++f) FastFrame(fast, WalkingPose(f), shapes, painter); }},
        {"plain: figure", [&] { for (int f = 0; f < frames; ++f) PlainFrame(plain, WalkingPose(f), painter.Look()); }},
        {"view: figure + both ghosts drawn anew", [&] {
             for (int f = 0; f < frames; ++f) {
                 tw::DrawGhosts(layer, qsize, first, last, tw::StartupCamera());
                 FastFrame(fast, WalkingPose(f), shapes, painter, &layer);
             }
         }},
        {"plain: figure + both ghosts", [&] {
             for (int f = 0; f < frames; ++f) {
                 const QImage plainLayer = PlainGhosts(qsize, first, last);
                 PlainFrame(plain, WalkingPose(f), painter.Look(), &plainLayer);
             }
         }},
        {"view: figure + kept ghosts", [&] {
             for (int f = 0; f < frames; ++f) FastFrame(fast, WalkingPose(f), shapes, painter, &layer);
         }},
        {"limit: fill + same shapes, one colour", [&] {
             for (int f = 0; f < frames; ++f) LimitFrame(bound, limitShapes[f % limitShapes.size()]);
         }},
    };
    for (const bench::Side& side : sides) side.run();  // warm every side alike
    const bench::Times times = bench::Alternate(rounds, sides);
    // The last frames timed: the plain side's ghosted frame against the view's kept-ghosts frame.
    const bool lastSame = fast == plain;

    char title[160];
    std::snprintf(title, sizeof title, "Figure frames %dx%d, %zu shapes, %d frames per side per round", size.width,
                  size.height, shapes.size(), frames);
    using bench::Role;
    const std::vector<double> bare =
        ReportSome(title, rounds, sides, times, {0, 1, 5}, {Role::Ours, Role::Baseline, Role::Limit});
    std::snprintf(title, sizeof title, "Figure frames %dx%d with the first and last pose's ghosts", size.width,
                  size.height);
    const std::vector<double> ghosted =
        ReportSome(title, rounds, sides, times, {2, 3, 4}, {Role::Ours, Role::Baseline, Role::Ours});
    const double perFrame = 1.0 / frames;
    std::printf(
        "  per frame, ms: figure %.3f (plain %.3f, limit %.3f); both ghosts drawn anew %.3f (plain %.3f); "
        "kept ghosts %.3f\n",
        bare[0] * perFrame, bare[1] * perFrame, bare[2] * perFrame, ghosted[0] * perFrame,
        ghosted[1] * perFrame, ghosted[2] * perFrame);
    const bool same = differing == 0 && lastSame;
    std::printf("  same result: %s (%d frames compared pixel for pixel, %d differing; last timed frames %s)\n",
                same ? "yes" : "NO", 2 * Compared, differing, lastSame ? "the same" : "DIFFER");
    return same;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = bench::TakeQuickFlag(argc, argv);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);

    const int rounds = bench::RoundsFor(quick, 9);
    std::vector<tw::DrawPrimitive> shapes;
    const std::vector<bench::Side> pose = {
        {"pose maths alone (BuildFigure), 1000 frames",
         [&] { for (int f = 0; f < 1000; ++f) tw::BuildFigure(WalkingPose(f), ViewSize, shapes); }}};
    bench::Report("Pose maths", rounds, pose, {bench::Role::Ours}, bench::Alternate(rounds, pose));

    bool same = MeasureSize(ViewSize, rounds, quick ? 10 : 200);
    same = MeasureSize(LargeSize, rounds, quick ? 3 : 30) && same;
    return same ? 0 : 1;
}
