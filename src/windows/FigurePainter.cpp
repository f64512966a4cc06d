#include "windows/FigurePainter.h"

#include <QPainter>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>

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

FigurePainter::FigurePainter(const FigureLook& look) { SetLook(look); }

void FigurePainter::PaintSilhouette(QPainter& painter, const std::vector<DrawPrimitive>& shapes,
                                    const QColor& tint) {
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QTransform base = painter.transform();
    const QPen line(tint, 1, Qt::SolidLine, Qt::RoundCap);
    QPen stroke = line;
    for (const DrawPrimitive& p : shapes) {
        switch (p.shape) {
        case Shape::Segment:
            stroke.setWidthF(p.width);
            painter.setPen(stroke);
            painter.drawLine(QPointF(p.points[0].x, p.points[0].y), QPointF(p.points[1].x, p.points[1].y));
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

void DrawGhosts(QImage& layer, QSize size, const PoseValues& first, const PoseValues& last,
                const ViewCamera& camera, std::vector<DrawPrimitive>& shapes) {
    if (layer.size() != size || layer.format() != QImage::Format_ARGB32_Premultiplied)
        layer = QImage(size, QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    QPainter p(&layer);
    const Viewport viewport{size.width(), size.height()};
    BuildFigure(first, viewport, camera, shapes);
    FigurePainter::PaintSilhouette(p, shapes, FirstGhostTint);
    BuildFigure(last, viewport, camera, shapes);
    FigurePainter::PaintSilhouette(p, shapes, LastGhostTint);
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
    for (const DrawPrimitive& p : shapes) {
        const int m = static_cast<int>(p.material);
        const int level = ShadeLevelOf(p.shade);
        const QColor& fill = fill_[m][level];
        switch (p.shape) {
        case Shape::Segment: {
            const QPointF a(p.points[0].x, p.points[0].y), b(p.points[1].x, p.points[1].y);
            painter.setPen(QPen(fill, p.width, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(a, b);
            if (p.width >= 4) {
                // A lighter stripe on the side facing the light rounds the limb.
                QPointF n(-(b.y() - a.y()), b.x() - a.x());
                const double len = std::hypot(n.x(), n.y());
                n = len > 0 ? n / len : QPointF(-0.7, -0.7);
                if (n.x() + n.y() > 0) n = -n;
                const QPointF o = n * (p.width * 0.18);
                painter.setPen(QPen(light_[m][level], p.width * 0.34, Qt::SolidLine, Qt::RoundCap));
                painter.drawLine(a + o, b + o);
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
                // The head: lit from the upper left.
                QRadialGradient g(QPointF(-0.35 * p.width, -0.45 * p.height), 1.4 * std::max(p.width, p.height));
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
