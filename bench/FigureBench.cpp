// How long one frame of the character view's figure takes to draw (pose
// maths and painting into an image), at the main window's view size and at
// 1920 x 1080, without and with the ghosts of the first and last pose,
// against the same frame drawn the plain way: every shape built as a
// QPainterPath with its colours worked out on the spot, a fresh shape list
// and a fresh ghost layer each frame. Both ways must give the same pixels.
// The ghosts are drawn anew in every timed frame, as while the camera turns;
// during playback the view keeps them and only lays them down, which is
// reported too. Reports the medians and their ratios.

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "figure/Pose.h"
#include "windows/FigurePainter.h"

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
               const tw::FigurePainter& painter, const QImage* ghosts = nullptr) {
    image.fill(Background);
    QPainter p(&image);
    if (ghosts) {
        p.setOpacity(GhostOpacity);
        p.drawImage(0, 0, *ghosts);
        p.setOpacity(1);
    }
    tw::BuildFigure(pose, {image.width(), image.height()}, shapes);
    painter.Paint(p, shapes);
}

// The plain ghosts: each shape a QPainterPath in a fresh layer.
QImage PlainGhosts(QSize size, const tw::PoseValues& first, const tw::PoseValues& last) {
    QImage layer(size, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    QPainter p(&layer);
    p.setRenderHint(QPainter::Antialiasing, true);
    for (const auto& [pose, tint] : {std::pair{&first, tw::FirstGhostTint}, std::pair{&last, tw::LastGhostTint}}) {
        std::vector<tw::DrawPrimitive> shapes;
        tw::BuildFigure(*pose, {size.width(), size.height()}, shapes);
        for (const tw::DrawPrimitive& s : shapes) {
            p.save();
            if (s.shape == tw::Shape::Segment) {
                QPainterPath line(QPointF(s.points[0].x, s.points[0].y));
                line.lineTo(QPointF(s.points[1].x, s.points[1].y));
                p.strokePath(line, QPen(tint, s.width, Qt::SolidLine, Qt::RoundCap));
            } else if (s.shape == tw::Shape::Polygon) {
                QPolygonF corners;
                for (int i = 0; i < s.count; ++i) corners << QPointF(s.points[i].x, s.points[i].y);
                p.setPen(QPen(tint, 1, Qt::SolidLine, Qt::RoundCap));
                p.setBrush(tint);
                p.drawPolygon(corners);
            } else if (s.material == tw::Material::Skin || s.material == tw::Material::Hair) {
                p.translate(s.points[0].x, s.points[0].y);
                p.rotate(s.angle * 180 / M_PI);
                p.setPen(Qt::NoPen);
                p.setBrush(tint);
                p.drawEllipse(QPointF(0, 0), s.width, s.height);
            }
            p.restore();
        }
    }
    return layer;
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

// Median of the thread's CPU time per frame: the machine is shared, and other
// work on it stretches the wall clock.
double ThreadMicroseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

template <class F>
double MedianMicroseconds(int runs, F&& frame) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double start = ThreadMicroseconds();
        frame(i);
        times.push_back(ThreadMicroseconds() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

struct Timings {
    double view, plain;
};

// The figure's frame at one size, without and with both ghosts, the view's
// way against the plain way; false when their pixels differ.
bool Measure(tw::Viewport size, int runs, Timings& bare, Timings& ghosted, double& cachedGhostsUs) {
    QImage fast(size.width, size.height, QImage::Format_ARGB32_Premultiplied);
    QImage plain(size.width, size.height, QImage::Format_ARGB32_Premultiplied);
    const tw::FigurePainter painter;
    std::vector<tw::DrawPrimitive> shapes, ghostShapes;
    QImage layer;
    const tw::PoseValues first = WalkingPose(0), last = WalkingPose(15);
    const QSize qsize(size.width, size.height);

    int differing = 0;
    for (int f = 0; f < 20; ++f) {
        FastFrame(fast, WalkingPose(f), shapes, painter);
        PlainFrame(plain, WalkingPose(f), painter.Look());
        differing += fast != plain;
        tw::DrawGhosts(layer, qsize, first, last, tw::StartupCamera(), ghostShapes);
        FastFrame(fast, WalkingPose(f), shapes, painter, &layer);
        const QImage plainLayer = PlainGhosts(qsize, first, last);
        PlainFrame(plain, WalkingPose(f), painter.Look(), &plainLayer);
        differing += fast != plain;
    }
    std::printf("%dx%d: frames compared 40, differing %d\n", size.width, size.height, differing);

    for (int f = 0; f < runs / 10; ++f) FastFrame(fast, WalkingPose(f), shapes, painter);  // warm up
    bare.view = MedianMicroseconds(runs, [&](int f) { FastFrame(fast, WalkingPose(f), shapes, painter); });
    bare.plain = MedianMicroseconds(runs, [&](int f) { PlainFrame(plain, WalkingPose(f), painter.Look()); });
    ghosted.view = MedianMicroseconds(runs, [&](int f) {
        tw::DrawGhosts(layer, qsize, first, last, tw::StartupCamera(), ghostShapes);
        FastFrame(fast, WalkingPose(f), shapes, painter, &layer);
    });
    ghosted.plain = MedianMicroseconds(runs, [&](int f) {
        const QImage plainLayer = PlainGhosts(qsize, first, last);
        PlainFrame(plain, WalkingPose(f), painter.Look(), &plainLayer);
    });
    cachedGhostsUs = MedianMicroseconds(runs, [&](int f) { FastFrame(fast, WalkingPose(f), shapes, painter, &layer); });
    return differing == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    std::vector<tw::DrawPrimitive> shapes;
    const double poseUs = MedianMicroseconds(2000, [&](int f) { tw::BuildFigure(WalkingPose(f), ViewSize, shapes); });

    bool same = true;
    struct Row {
        tw::Viewport size;
        int runs;
        Timings bare, ghosted;
        double cached;
    } rows[] = {{ViewSize, 2000, {}, {}, 0}, {LargeSize, 200, {}, {}, 0}};
    for (Row& row : rows) same = Measure(row.size, row.runs, row.bare, row.ghosted, row.cached) && same;

    std::printf("\nfigure frame, %zu shapes, medians of the CPU time; pose maths alone %.1f us\n", shapes.size(), poseUs);
    std::printf("%-11s %-26s %10s %10s %8s\n", "size", "frame", "view us", "plain us", "plain/view");
    for (const Row& row : rows) {
        char size[32];
        std::snprintf(size, sizeof size, "%dx%d", row.size.width, row.size.height);
        std::printf("%-11s %-26s %10.1f %10.1f %8.2f\n", size, "figure", row.bare.view, row.bare.plain,
                    row.bare.plain / row.bare.view);
        std::printf("%-11s %-26s %10.1f %10.1f %8.2f\n", size, "figure + both ghosts", row.ghosted.view,
                    row.ghosted.plain, row.ghosted.plain / row.ghosted.view);
        std::printf("%-11s %-26s %10.1f\n", size, "figure + kept ghosts", row.cached);
    }
    return same ? 0 : 1;
}
