#include "figure/Camera.h"

#include <algorithm>
#include <cmath>

namespace tw {

namespace {
// The start-up view: turned 30 degrees round the figure towards its right
// side and looking down 8 degrees.
constexpr float StartYaw = 0.5235988f, StartPitch = 0.1396263f;
constexpr float QuarterTurn = 1.5707964f;
}  // namespace

ViewCamera StartupCamera() { return ViewCamera{StartYaw, StartPitch, 1, 0, 0}; }

ViewCamera PresetCamera(CameraPreset preset) {
    switch (preset) {
    case CameraPreset::Front: return ViewCamera{0, 0, 1, 0, 0};
    case CameraPreset::Side: return ViewCamera{QuarterTurn, 0, 1, 0, 0};
    case CameraPreset::Top: return ViewCamera{0, MaxTilt, 1, 0, 0};
    case CameraPreset::ThreeQuarter: break;
    }
    return StartupCamera();
}

ViewCamera Orbited(ViewCamera camera, float dxPixels, float dyPixels) {
    if (!std::isfinite(dxPixels) || !std::isfinite(dyPixels)) return camera;
    // The turn stays within one revolution so that it never loses precision.
    camera.yaw = std::remainder(camera.yaw + dxPixels * OrbitRadiansPerPixel, 2 * 3.14159265f);
    camera.pitch = std::clamp(camera.pitch + dyPixels * OrbitRadiansPerPixel, -MaxTilt, MaxTilt);
    return camera;
}

ViewCamera Zoomed(ViewCamera camera, float steps) {
    if (!std::isfinite(steps)) return camera;
    camera.zoom = std::clamp(camera.zoom * std::pow(ZoomPerWheelStep, steps), MinZoom, MaxZoom);
    return camera;
}

ViewCamera Panned(ViewCamera camera, float dxPixels, float dyPixels, float pixelsPerUnit) {
    const float scale = pixelsPerUnit * camera.zoom;
    if (!(scale > 0) || !std::isfinite(dxPixels) || !std::isfinite(dyPixels)) return camera;
    // Held within a few figure heights, so the figure can always be found again.
    constexpr float Far = 1000;
    camera.panX = std::clamp(camera.panX - dxPixels / scale, -Far, Far);
    camera.panY = std::clamp(camera.panY + dyPixels / scale, -Far, Far);
    return camera;
}

Mat3 CameraRotation(const ViewCamera& camera) {
    return AxisRotation({1, 0, 0}, camera.pitch) * AxisRotation({0, 1, 0}, camera.yaw);
}

}  // namespace tw
