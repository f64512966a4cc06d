// Draws the scene of a player: the background (or the sky), the figure's
// shadow, the ghosts of the script's first and last pose, and the figure, as
// the camera sees them, at any size. No window is needed: the view draws
// through it, and so can anything that wants frames without a display.
#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <array>
#include <vector>

#include "figure/Camera.h"
#include "render/FigurePainter.h"
#include "session/Player.h"

class QPainter;

namespace tw {

class SceneRenderer {
public:
    explicit SceneRenderer(const Player& player);

    void SetCamera(const ViewCamera& camera) { camera_ = camera; }
    const ViewCamera& Camera() const { return camera_; }
    void SetGhosts(bool on) { ghosts_ = on; }
    bool Ghosts() const { return ghosts_; }
    // The picture behind the figure, scaled to fill; a null one shows the sky.
    void SetBackground(const QImage& picture);
    bool HasBackground() const { return !background_.isNull(); }
    const QImage& Background() const { return background_; }
    void SetLook(const FigureLook& look) { painter_.SetLook(look); }
    // Lights the figure from the upper left (as the view does) or right.
    void SetLightSide(LightSide side) {
        light_ = side;
        painter_.SetLightSide(side);
    }
    const FigureLook& Look() const { return painter_.Look(); }

    // Draws the scene with the player's pose shown, or with `pose`, into
    // `area` of `painter`. What each size needs between frames (the scaled
    // background, the ghosts) is kept for the last few sizes drawn.
    void Draw(QPainter& painter, const QRect& area) const { Draw(painter, area, player_.Pose()); }
    void Draw(QPainter& painter, const QRect& area, const PoseValues& pose) const;

    // The scene at the player's script time `time`, as a picture of `size`.
    QImage Frame(double time, QSize size) const;

private:
    struct SizeCache {
        QSize size;
        QImage background;
        GhostLayer ghosts;
        ViewCamera ghostCamera;
        std::uint64_t ghostSerial = 0;
        bool ghostsDrawn = false;
    };
    SizeCache& CacheFor(QSize size) const;
    void DrawBackground(QPainter& painter, const QRect& area, SizeCache& cache) const;
    void DrawGhostLayer(QPainter& painter, QSize size, SizeCache& cache) const;

    const Player& player_;
    ViewCamera camera_ = StartupCamera();
    bool ghosts_ = false;
    LightSide light_ = LightSide::Left;
    QImage background_;
    FigurePainter painter_;
    mutable std::vector<DrawPrimitive> shapes_;
    mutable std::array<SizeCache, 3> caches_;
    mutable int lastCache_ = 0;
};

}  // namespace tw
