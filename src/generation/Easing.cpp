#include "generation/Easing.h"

#include <cmath>

namespace tw {

Curve Curve::FromAcceleration(double acceleration) {
    if (acceleration > 0) return {CurveKind::Accelerating, acceleration};
    if (acceleration < 0) return {CurveKind::Decelerating, -acceleration};
    return {CurveKind::Linear, 0.0};
}

FrameFactors Curve::Factors(float t, float n) const {
    const double td = t;
    const double nd = n;
    FrameFactors frame;
    frame.t = td;
    switch (kind) {
        case CurveKind::Linear:
            break;
        case CurveKind::Accelerating:
            frame.ratio = td / nd;
            frame.growth = std::exp(k * (td - nd) / 100.0);
            break;
        case CurveKind::Decelerating:
            frame.ratio = 1.0 - td / nd;
            frame.growth = std::exp(-k * td / 100.0);
            break;
    }
    return frame;
}

float Curve::LinearSlope(float n, double initial, double final) {
    return static_cast<float>((final - initial) / static_cast<double>(n));
}

float EaseLinear(float t, float n, double initial, double final) {
    return Curve{CurveKind::Linear, 0.0}.Evaluate(t, initial, final, n);
}

float EaseAccelerating(float t, float n, double initial, double final, double k) {
    return Curve{CurveKind::Accelerating, k}.Evaluate(t, initial, final, n);
}

float EaseDecelerating(float t, float n, double initial, double final, double k) {
    return Curve{CurveKind::Decelerating, k}.Evaluate(t, initial, final, n);
}

std::array<float, GraphBarCount> AccelerationGraph(double acceleration) {
    const Curve curve = Curve::FromAcceleration(acceleration);
    std::array<float, GraphBarCount> bars{};
    const auto last = static_cast<float>(GraphBarCount - 1);
    for (int b = 0; b < GraphBarCount; ++b) {
        const float value = curve.Evaluate(static_cast<float>(b), 0.0, 100.0, last);
        bars[b] = value < 1.0f ? 1.0f : value;
    }
    return bars;
}

}  // namespace tw
