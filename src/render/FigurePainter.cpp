#include "render/FigurePainter.h"

#include <QPainter>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>
#include <thread>

namespace tw {

FigureLook DefaultLook() {
    FigureLook look;
    look[Material::Skin] = QColor(234, 192, 160);
    look[Material::SkinShadow] = QColor(205, 152, 122);
    look[Material::Shirt] = QColor(62, 108, 168);
    look[Material::Trousers] = QColor(58, 60, 78);
    look[Material::Shoe] = QColor(48, 36, 30);
    look[Material::Hair] = QColor(82, 54, 34);
    look[Material::EyeWhite] = QColor(248, 248, 244);
    look[Material::Iris] = QColor(54, 84, 62);
    look[Material::Brow] = QColor(70, 46, 30);
    look[Material::Lips] = QColor(170, 84, 84);
    look[Material::Cheek] = QColor(236, 120, 120, 80);
    look[Material::Nostril] = QColor(120, 66, 56);
    return look;
}

FigureLook SkinFromPicture(FigureLook look, const QImage& picture) {
    if (picture.isNull()) return look;
    // Count colours on a small copy in bins of 16 levels per channel; the
    // fullest bin's average is the dominant colour.
    const QImage small = picture.scaled(48, 48, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_ARGB32);
    std::vector<int> count(4096, 0);
    std::vector<std::array<long, 3>> sum(4096, {0, 0, 0});
    for (int y = 0; y < small.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(small.constScanLine(y));
        for (int x = 0; x < small.width(); ++x) {
            const QRgb c = line[x];
            if (qAlpha(c) < 128) continue;
            const int bin = (qRed(c) >> 4) << 8 | (qGreen(c) >> 4) << 4 | (qBlue(c) >> 4);
            ++count[bin];
            sum[bin][0] += qRed(c);
            sum[bin][1] += qGreen(c);
            sum[bin][2] += qBlue(c);
        }
    }
    const int best = static_cast<int>(std::max_element(count.begin(), count.end()) - count.begin());
    if (count[best] == 0) return look;
    const int n = count[best];
    const QColor skin(static_cast<int>(sum[best][0] / n), static_cast<int>(sum[best][1] / n),
                      static_cast<int>(sum[best][2] / n));
    look[Material::Skin] = skin;
    look[Material::SkinShadow] = skin.darker(125);
    return look;
}

int ShadeLevelOf(float shade) {
    return std::clamp(static_cast<int>(std::lround(shade / 1.25f * 31)), 0, 31);
}

QColor ShadedColour(const QColor& base, int level) {
    const float k = level * 1.25f / 31;
    auto scale = [k](int c) { return std::clamp(static_cast<int>(std::lround(c * k)), 0, 255); };
    return QColor(scale(base.red()), scale(base.green()), scale(base.blue()), base.alpha());
}

QColor HighlightColour(const QColor& base, int level) {
    const QColor c = ShadedColour(base, level);
    auto lift = [](int v) { return v + (255 - v) / 5; };
    return QColor(lift(c.red()), lift(c.green()), lift(c.blue()), c.alpha());
}

const QColor FirstGhostTint(150, 200, 255), LastGhostTint(255, 185, 120);

void DrawCapsule(QPainter& painter, QPen& pen, QPointF a, QPointF b, double width, const QColor& colour) {
    pen.setColor(colour);
    pen.setWidthF(width);
    painter.setPen(pen);
    painter.drawLine(a, b);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(a, width / 2, width / 2);
    painter.drawEllipse(b, width / 2, width / 2);
}

FigurePainter::FigurePainter(const FigureLook& look) { SetLook(look); }

void FigurePainter::PaintSilhouette(QPainter& painter, const std::vector<DrawPrimitive>& shapes,
                                    const QColor& tint) {
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QTransform base = painter.transform();
    QPen stroke(tint, 1, Qt::SolidLine, Qt::FlatCap);
    const QPen line(tint, 1, Qt::SolidLine, Qt::RoundCap);
    for (const DrawPrimitive& p : shapes) {
        switch (p.shape) {
        case Shape::Segment:
            DrawCapsule(painter, stroke, QPointF(p.points[0].x, p.points[0].y), QPointF(p.points[1].x, p.points[1].y),
                        p.width, tint);
            break;
        case Shape::Polygon: {
            std::array<QPointF, 8> corners;
            for (int i = 0; i < p.count; ++i) corners[i] = QPointF(p.points[i].x, p.points[i].y);
            painter.setPen(line);
            painter.setBrush(tint);
            painter.drawPolygon(corners.data(), p.count);
            break;
        }
        case Shape::Ellipse:
            // Face details lie inside the head's outline.
            if (p.material != Material::Skin && p.material != Material::Hair) break;
            painter.setTransform(QTransform(base).translate(p.points[0].x, p.points[0].y).rotateRadians(p.angle));
            painter.setPen(Qt::NoPen);
            painter.setBrush(tint);
            painter.drawEllipse(QPointF(0, 0), p.width, p.height);
            painter.setTransform(base);
            break;
        }
    }
}

namespace {

// The pixels the shapes touch, their strokes and edges included.
QRect BoundsOf(const std::vector<DrawPrimitive>& shapes) {
    float left = INFINITY, top = INFINITY, right = -INFINITY, bottom = -INFINITY;
    auto take = [&](Point2 p, float reach) {
        left = std::min(left, p.x - reach);
        right = std::max(right, p.x + reach);
        top = std::min(top, p.y - reach);
        bottom = std::max(bottom, p.y + reach);
    };
    for (const DrawPrimitive& s : shapes) {
        switch (s.shape) {
        case Shape::Segment: take(s.points[0], s.width / 2), take(s.points[1], s.width / 2); break;
        case Shape::Polygon:
            for (int i = 0; i < s.count; ++i) take(s.points[i], 1);
            break;
        case Shape::Ellipse: take(s.points[0], std::max(s.width, s.height)); break;
        }
    }
    // No shapes, or NaN (which compares false): nothing to draw. A figure far
    // off the view is held within the int range; the view's bounds clip it.
    if (!(left <= right && top <= bottom)) return {};
    auto whole = [](float v) { return static_cast<int>(std::clamp(v, -1e8f, 1e8f)); };
    return QRect(QPoint(whole(std::floor(left)) - 2, whole(std::floor(top)) - 2),
                 QPoint(whole(std::ceil(right)) + 2, whole(std::ceil(bottom)) + 2));
}

// A transparent image of `size`, reallocated only when its size changes.
void Clear(QImage& image, QSize size) {
    if (image.size() != size || image.format() != QImage::Format_ARGB32_Premultiplied)
        image = QImage(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
}

}  // namespace

void DrawGhosts(GhostLayer& layer, QSize size, const PoseValues& first, const PoseValues& last,
                const ViewCamera& camera) {
    const Viewport viewport{size.width(), size.height()};
    BuildFigure(first, viewport, camera, layer.firstShapes);
    BuildFigure(last, viewport, camera, layer.lastShapes);
    const QRect bounds =
        (BoundsOf(layer.firstShapes) | BoundsOf(layer.lastShapes)) & QRect(QPoint(0, 0), size);
    if (bounds.isEmpty()) {
        layer.image = QImage();
        return;
    }
    layer.at = bounds.topLeft();
    auto paint = [&bounds](QImage& image, const std::vector<DrawPrimitive>& shapes, const QColor& tint) {
        Clear(image, bounds.size());
        QPainter p(&image);
        p.translate(-bounds.topLeft());
        FigurePainter::PaintSilhouette(p, shapes, tint);
    };
    // At large sizes each ghost costs about as much as the figure; the two are
    // drawn at once, each on its own image, and the first is then laid under
    // the last.
    std::thread firstGhost([&] { paint(layer.firstImage, layer.firstShapes, FirstGhostTint); });
    paint(layer.image, layer.lastShapes, LastGhostTint);
    firstGhost.join();
    QPainter p(&layer.image);
    p.setCompositionMode(QPainter::CompositionMode_DestinationOver);
    p.drawImage(0, 0, layer.firstImage);
}

void FigurePainter::SetLook(const FigureLook& look) {
    look_ = look;
    for (int m = 0; m < static_cast<int>(Material::Count); ++m)
        for (int level = 0; level < ShadeLevels; ++level) {
            fill_[m][level] = ShadedColour(look.colours[m], level);
            light_[m][level] = HighlightColour(look.colours[m], level);
        }
}

void FigurePainter::Paint(QPainter& painter, const std::vector<DrawPrimitive>& shapes) const {
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QTransform base = painter.transform();
    QPen stroke(Qt::black, 1, Qt::SolidLine, Qt::FlatCap);
    for (const DrawPrimitive& p : shapes) {
        const int m = static_cast<int>(p.material);
        const int level = ShadeLevelOf(p.shade);
        const QColor& fill = fill_[m][level];
        switch (p.shape) {
        case Shape::Segment: {
            const QPointF a(p.points[0].x, p.points[0].y), b(p.points[1].x, p.points[1].y);
            DrawCapsule(painter, stroke, a, b, p.width, fill);
            if (p.width >= 4) {
                // A lighter stripe on the side facing the light rounds the limb.
                QPointF n(-(b.y() - a.y()), b.x() - a.x());
                const double len = std::hypot(n.x(), n.y());
                const double side = lightSide_ == LightSide::Left ? 1 : -1;
                n = len > 0 ? n / len : QPointF(-0.7 * side, -0.7);
                if (side * n.x() + n.y() > 0) n = -n;
                const QPointF o = n * (p.width * 0.18);
                DrawCapsule(painter, stroke, a + o, b + o, p.width * 0.34, light_[m][level]);
            }
            break;
        }
        case Shape::Polygon: {
            std::array<QPointF, 8> corners;
            for (int i = 0; i < p.count; ++i) corners[i] = QPointF(p.points[i].x, p.points[i].y);
            painter.setPen(QPen(fill.darker(125), 1.0));
            painter.setBrush(fill);
            painter.drawPolygon(corners.data(), p.count);
            break;
        }
        case Shape::Ellipse: {
            painter.setTransform(QTransform(base).translate(p.points[0].x, p.points[0].y).rotateRadians(p.angle));
            painter.setPen(Qt::NoPen);
            if (p.material == Material::Skin) {
                // The head: lit from the upper left (or right).
                const double side = lightSide_ == LightSide::Left ? 1 : -1;
                QRadialGradient g(QPointF(-0.35 * side * p.width, -0.45 * p.height), 1.4 * std::max(p.width, p.height));
                g.setColorAt(0, light_[m][level]);
                g.setColorAt(1, fill.darker(118));
                painter.setBrush(g);
            } else {
                painter.setBrush(fill);
            }
            painter.drawEllipse(QPointF(0, 0), p.width, p.height);
            painter.setTransform(base);
            break;
        }
        }
    }
}

}  // namespace tw
