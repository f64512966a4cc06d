// Pose maths of the figure: register values to joint positions, and joint
// positions to a back-to-front list of flat shapes as seen through the view's
// camera. Plain values only; the view paints the list.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "figure/Camera.h"
#include "figure/FigureTable.h"

namespace tw {

// One value per register, by catalogue index; all zero is the rest pose.
using PoseValues = std::array<float, RegisterCount>;

struct JointPose {
    Vec3 position;  // figure space
    Mat3 frame;     // turns the joint's children, its own registers included
};
using PoseJoints = std::array<JointPose, JointCount>;

// Joint positions of a pose. The whole figure turns about the pelvis by
// `LocalRotateX`, then Y, then Z (X outermost) and moves by `LocalTranslate*`.
PoseJoints ComputeJoints(const PoseValues& values);

// A point of an anchor in a computed pose.
Vec3 AnchorPoint(const PoseJoints& joints, const Anchor& anchor);

struct Point2 {
    float x = 0, y = 0;
    friend bool operator==(Point2, Point2) = default;
};

enum class Shape : std::uint8_t { Segment, Ellipse, Polygon };

// A flat shape in pixels (y down). A segment is a round-capped stroke from
// points[0] to points[1] of full width `width`; an ellipse is centred at
// points[0] with half axes `width` and `height`, turned clockwise by `angle`
// radians; a polygon fills points[0..count).
struct DrawPrimitive {
    Shape shape = Shape::Segment;
    Material material = Material::Skin;
    std::uint8_t count = 0;
    std::int16_t joint = 0;  // the joint whose frame carries it
    float depth = 0;         // distance from the camera; larger is drawn first
    float shade = 1;         // light on it: 1 is the material's own colour
    float width = 0, height = 0, angle = 0;
    std::array<Point2, 8> points{};
    friend bool operator==(const DrawPrimitive&, const DrawPrimitive&) = default;
};

struct Viewport {
    int width = 0, height = 0;
};

// Where a figure-space point lands in the viewport, and its depth.
struct Projected {
    Point2 at;
    float depth;
    float scale;  // pixels per figure unit at that depth
};
Projected Project(Vec3 point, Viewport viewport, const ViewCamera& camera = StartupCamera());

// Pixels per figure unit at zoom 1: the standing figure fits the viewport.
float FitScale(Viewport viewport);

// Where the light comes from as the viewer sees it: the upper left, as the
// view is lit, or the upper right, which lights the mirror image of a scene
// as the mirror shows it.
enum class LightSide : std::uint8_t { Left, Right };

// The figure in `values` as shapes for `viewport` seen through `camera`,
// sorted back to front. `out` is cleared and refilled, so a caller drawing
// every frame reuses it.
void BuildFigure(const PoseValues& values, Viewport viewport, const ViewCamera& camera,
                 std::vector<DrawPrimitive>& out, LightSide light = LightSide::Left);
inline void BuildFigure(const PoseValues& values, Viewport viewport, std::vector<DrawPrimitive>& out) {
    BuildFigure(values, viewport, StartupCamera(), out);
}

}  // namespace tw
