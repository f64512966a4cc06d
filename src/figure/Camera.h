// The camera the figure is seen through: turned about the figure (yaw about
// the vertical axis, then tilt), zoomed and panned. Plain values with the
// rules a view applies to mouse input; the pose maths projects through it.
#pragma once

#include "figure/FigureTable.h"

namespace tw {

struct ViewCamera {
    float yaw = 0;    // radians about the vertical axis; positive turns the figure's front to the right
    float pitch = 0;  // radians of tilt; positive looks down on the figure
    float zoom = 1;   // 1 fits the standing figure into the view
    float panX = 0, panY = 0;  // the point looked at, moved in the picture plane, figure units
    friend bool operator==(const ViewCamera&, const ViewCamera&) = default;
};

inline constexpr float MaxTilt = 1.3962634f;  // 80 degrees either way
inline constexpr float MinZoom = 0.5f, MaxZoom = 4.0f;
inline constexpr float OrbitRadiansPerPixel = 0.00872665f;  // half a degree
inline constexpr float ZoomPerWheelStep = 1.15f;             // one notch of the wheel

// The camera a view starts with: a three-quarter view from slightly above.
ViewCamera StartupCamera();

enum class CameraPreset { Front, Side, ThreeQuarter, Top };
// The preset's turn and tilt, zoom 1, no pan; ThreeQuarter is the start-up camera.
ViewCamera PresetCamera(CameraPreset preset);

// A drag of (dx, dy) pixels: horizontal turns, vertical tilts (held within
// +-MaxTilt). Zoom and pan stay.
ViewCamera Orbited(ViewCamera camera, float dxPixels, float dyPixels);
// `steps` notches of the wheel (positive zooms in), held within MinZoom..MaxZoom.
ViewCamera Zoomed(ViewCamera camera, float steps);
// A drag of (dx, dy) pixels in a view showing `pixelsPerUnit` pixels per
// figure unit at zoom 1 (FitScale): the figure follows the mouse.
ViewCamera Panned(ViewCamera camera, float dxPixels, float dyPixels, float pixelsPerUnit);

// The camera's turn as a rotation from figure space to camera space.
Mat3 CameraRotation(const ViewCamera& camera);

}  // namespace tw
