// The three curves a register follows from its initial to its final value over
// a run of frames, and the ten-bar picture of a curve shown beside the
// acceleration field.
//
// t is the frame index (a whole number held in a float), n the frame count
// (a float, never 0 here), initial and final the register's values.
#pragma once

#include <array>

namespace tw {

// initial + t · s, where s = (final - initial) / n is held as a float; the
// product t · s is formed in double; the result is rounded once to float.
float EaseLinear(float t, float n, double initial, double final);

// initial + (final - initial) · (t / n) · exp(k · (t - n) / 100), all in double,
// rounded once to float. Slow at first, fast at the end.
float EaseAccelerating(float t, float n, double initial, double final, double k);

// initial + (final - initial) · (1 - (1 - t / n) · exp(-k · t / 100)) in double,
// never beyond final, rounded once to float. Fast at first, slow at the end.
float EaseDecelerating(float t, float n, double initial, double final, double k);

enum class CurveKind { Linear, Accelerating, Decelerating };

// The quantities of one frame that every register shares: t / n and the
// exponential are worked out once per frame instead of once per line.
struct FrameFactors {
    double t = 0;         // the frame index
    double ratio = 0;     // accelerating: t / n; decelerating: 1 - t / n
    double growth = 1;    // the exponential of the frame
};

// The curve of a run, chosen once from the acceleration: 0 linear, above 0
// accelerating with k = a, below 0 decelerating with k = -a.
struct Curve {
    CurveKind kind = CurveKind::Linear;
    double k = 0;

    static Curve FromAcceleration(double acceleration);

    FrameFactors Factors(float t, float n) const;

    // The per-register slope of the linear curve, (final - initial) / n as a float.
    static float LinearSlope(float n, double initial, double final);

    // The value of a register on this frame; bit-identical to the Ease* functions.
    // `slope` is only read by the linear curve.
    float Apply(const FrameFactors& frame, double initial, double final, float slope) const {
        switch (kind) {
            case CurveKind::Linear:
                return static_cast<float>(initial + frame.t * static_cast<double>(slope));
            case CurveKind::Accelerating:
                return static_cast<float>(initial + ((final - initial) * frame.ratio) * frame.growth);
            case CurveKind::Decelerating: {
                double value = initial + (final - initial) * (1.0 - frame.ratio * frame.growth);
                if (final > initial && value > final) value = final;
                if (final < initial && value < final) value = final;
                return static_cast<float>(value);
            }
        }
        return 0.0f;
    }

    float Evaluate(float t, double initial, double final, float n) const {
        return Apply(Factors(t, n), initial, final, LinearSlope(n, initial, final));
    }
};

// The acceleration graph's bars.
inline constexpr int GraphBarCount = 10;

// Ten bars b = 0..9: the curve of `acceleration` with t = b, n = 9, from 0 to
// 100; a bar below 1 is shown as 1.
std::array<float, GraphBarCount> AccelerationGraph(double acceleration);

}  // namespace tw
