// Paints the figure's shapes with QPainter: flat colours per material, shaded
// by the light each shape gets, with a highlight along every limb.
#pragma once

#include <QColor>
#include <QImage>
#include <QPen>
#include <QPoint>
#include <QPointF>
#include <array>
#include <vector>

#include "figure/Pose.h"

class QPainter;

namespace tw {

// The figure's colours by material.
struct FigureLook {
    std::array<QColor, static_cast<int>(Material::Count)> colours;
    QColor& operator[](Material m) { return colours[static_cast<int>(m)]; }
    const QColor& operator[](Material m) const { return colours[static_cast<int>(m)]; }
};

FigureLook DefaultLook();

// The look with its skin taken from a picture: the picture's dominant colour
// becomes the skin, its shadow follows. A null picture leaves the look as is.
FigureLook SkinFromPicture(FigureLook look, const QImage& picture);

// Holds the pens and brushes of one look, so drawing a frame builds none.
class FigurePainter {
public:
    explicit FigurePainter(const FigureLook& look = DefaultLook());
    void SetLook(const FigureLook& look);
    const FigureLook& Look() const { return look_; }
    // The side the limbs' stripes and the head's sheen face (the upper left
    // unless told otherwise).
    void SetLightSide(LightSide side) { lightSide_ = side; }

    // Paints `shapes` in their order; the painter's transform places them.
    void Paint(QPainter& painter, const std::vector<DrawPrimitive>& shapes) const;
    // Paints `shapes` as one flat colour: the outline of a pose.
    static void PaintSilhouette(QPainter& painter, const std::vector<DrawPrimitive>& shapes, const QColor& tint);

private:
    static constexpr int ShadeLevels = 32;
    FigureLook look_;
    LightSide lightSide_ = LightSide::Left;
    // Colour of a material at a quantised shade, and its limb highlight.
    std::array<std::array<QColor, ShadeLevels>, static_cast<int>(Material::Count)> fill_, light_;

    int ShadeLevel(float shade) const;
};

// The ghosts of two poses, the first behind the second, each as one flat
// tint on a transparent image; the view lays the image faintly behind the
// moving figure. The image covers only the ghosts' bounds within the view.
struct GhostLayer {
    QImage image;  // null when no ghost falls within the view
    QPoint at;     // where the image's top-left lies in the view
    // Kept between drawings, so a new camera allocates nothing.
    QImage firstImage;
    std::vector<DrawPrimitive> firstShapes, lastShapes;
};

// Draws the ghosts for a view of `size`: the first pose on a worker thread
// while the last is drawn on this one, then the first laid under the last.
void DrawGhosts(GhostLayer& layer, QSize size, const PoseValues& first, const PoseValues& last,
                const ViewCamera& camera);
extern const QColor FirstGhostTint, LastGhostTint;

// A line of `width` with round ends in one colour, as a line with flat ends
// (`pen`, whose colour and width it sets) and a disc at each end: the same
// shape as a round-capped line, which the painter fills far more slowly.
void DrawCapsule(QPainter& painter, QPen& pen, QPointF a, QPointF b, double width, const QColor& colour);

// The shade quantisation both painters share: shade 0..1.25 in 32 steps.
QColor ShadedColour(const QColor& base, int level);
QColor HighlightColour(const QColor& base, int level);
int ShadeLevelOf(float shade);

}  // namespace tw
