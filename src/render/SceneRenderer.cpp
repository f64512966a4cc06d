#include "render/SceneRenderer.h"

#include <QLinearGradient>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace tw {

namespace {
constexpr double GhostOpacity = 0.38;
}  // namespace

SceneRenderer::SceneRenderer(const Player& player) : player_(player) {}

void SceneRenderer::SetBackground(const QImage& picture) {
    background_ = picture;
    for (SizeCache& cache : caches_) cache.background = QImage();
}

SceneRenderer::SizeCache& SceneRenderer::CacheFor(QSize size) const {
    for (int i = 0; i < static_cast<int>(caches_.size()); ++i)
        if (caches_[i].size == size) {
            lastCache_ = i;
            return caches_[i];
        }
    // The slot after the one used last goes to the new size.
    lastCache_ = (lastCache_ + 1) % static_cast<int>(caches_.size());
    caches_[lastCache_] = SizeCache{};
    caches_[lastCache_].size = size;
    return caches_[lastCache_];
}

void SceneRenderer::DrawBackground(QPainter& p, const QRect& r, SizeCache& cache) const {
    if (background_.isNull()) {
        QLinearGradient sky(r.topLeft(), r.bottomLeft());
        sky.setColorAt(0, QColor(72, 80, 98));
        sky.setColorAt(1, QColor(30, 33, 42));
        p.fillRect(r, sky);
        return;
    }
    if (cache.background.size() != r.size()) {
        // Scaled to fill the view, the overhang cut off evenly.
        const QImage filled = background_.scaled(r.size(), Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        cache.background = filled.copy((filled.width() - r.width()) / 2, (filled.height() - r.height()) / 2,
                                       r.width(), r.height());
    }
    p.drawImage(r.topLeft(), cache.background);
}

void SceneRenderer::DrawGhostLayer(QPainter& p, QSize size, SizeCache& cache) const {
    // The first and last pose, drawn once per size, camera and script.
    if (!cache.ghostsDrawn || cache.ghostCamera != camera_ || cache.ghostSerial != player_.Serial()) {
        DrawGhosts(cache.ghosts, size, player_.FirstPose(), player_.LastPose(), camera_);
        cache.ghostsDrawn = true;
        cache.ghostCamera = camera_;
        cache.ghostSerial = player_.Serial();
    }
    p.setOpacity(GhostOpacity);
    if (!cache.ghosts.image.isNull()) p.drawImage(cache.ghosts.at, cache.ghosts.image);
    p.setOpacity(1);
}

void SceneRenderer::Draw(QPainter& p, const QRect& r, const PoseValues& pose) const {
    SizeCache& cache = CacheFor(r.size());
    DrawBackground(p, r, cache);
    p.save();
    p.translate(r.topLeft());
    const Viewport viewport{r.width(), r.height()};
    // The figure's shadow on the floor, flatter the lower the camera.
    const Projected ground = Project({pose[102], 0, pose[104]}, viewport, camera_);
    if (std::isfinite(ground.at.x) && std::isfinite(ground.at.y)) {
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 70));
        const double flat = std::max(7.0, 26 * std::fabs(std::sin(double(camera_.pitch))));
        p.drawEllipse(QPointF(ground.at.x, ground.at.y), 26 * ground.scale, flat * ground.scale);
    }
    if (ghosts_ && player_.HasScript()) DrawGhostLayer(p, r.size(), cache);
    BuildFigure(pose, viewport, camera_, shapes_, light_);
    painter_.Paint(p, shapes_);
    p.restore();
}

QImage SceneRenderer::Frame(double time, QSize size) const {
    QImage frame(size, QImage::Format_RGB32);
    QPainter p(&frame);
    Draw(p, QRect(QPoint(0, 0), size), player_.PoseAt(time));
    return frame;
}

}  // namespace tw
