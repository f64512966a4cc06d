#include "generation/Easing.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void ExpectBars(double acceleration, const std::array<double, 10>& expected) {
    const std::array<float, 10> bars = tw::AccelerationGraph(acceleration);
    for (int b = 0; b < 10; ++b) EXPECT_NEAR(bars[b], expected[b], 0.0005) << "a=" << acceleration << " bar " << b;
}

TEST(AccelerationGraph, BarsOfTheThreeCurves) {
    ExpectBars(0, {1, 11.111, 22.222, 33.333, 44.444, 55.556, 66.667, 77.778, 88.889, 100});
    ExpectBars(10, {1, 4.993, 11.035, 18.294, 26.957, 37.240, 49.388, 63.679, 80.430, 100});
    ExpectBars(-10, {1, 19.570, 36.321, 50.612, 62.760, 73.043, 81.706, 88.965, 95.007, 100});
    ExpectBars(50, {1, 1, 1, 1.660, 3.648, 7.519, 14.875, 28.613, 53.914, 100});
}

TEST(Easing, FallingRegister) {
    const double linear[] = {50, 40, 30, 20, 10};
    const double accelerating[] = {50, 44.512, 36.594, 25.438, 10};
    const double decelerating[] = {50, 34.562, 23.406, 15.488, 10};
    for (int t = 0; t <= 4; ++t) {
        const float tf = static_cast<float>(t);
        EXPECT_NEAR(tw::EaseLinear(tf, 4, 50, 10), linear[t], 1e-5);
        EXPECT_NEAR(tw::EaseAccelerating(tf, 4, 50, 10, 20), accelerating[t], 0.0005);
        EXPECT_NEAR(tw::EaseDecelerating(tf, 4, 50, 10, 20), decelerating[t], 0.0005);
        EXPECT_NEAR(tw::Curve::FromAcceleration(-20).Evaluate(tf, 50, 10, 4), decelerating[t], 0.0005);
    }
}

TEST(Easing, CurveChoice) {
    EXPECT_EQ(tw::Curve::FromAcceleration(0).kind, tw::CurveKind::Linear);
    EXPECT_EQ(tw::Curve::FromAcceleration(-0.0).kind, tw::CurveKind::Linear);
    const tw::Curve up = tw::Curve::FromAcceleration(2.5), down = tw::Curve::FromAcceleration(-3);
    EXPECT_EQ(up.kind, tw::CurveKind::Accelerating);
    EXPECT_EQ(up.k, 2.5);
    EXPECT_EQ(down.kind, tw::CurveKind::Decelerating);
    EXPECT_EQ(down.k, 3);
}

TEST(Easing, EndsAndConstantRegisters) {
    for (double a : {0.0, 7.0, -7.0, 250.0, -250.0}) {
        const tw::Curve curve = tw::Curve::FromAcceleration(a);
        for (float t = 0; t <= 12; t += 1) EXPECT_EQ(curve.Evaluate(t, 3.25, 3.25, 12), 3.25f) << a;
        EXPECT_EQ(curve.Evaluate(0, -1.5, 8.75, 12), -1.5f) << a;
        EXPECT_EQ(curve.Evaluate(12, -1.5, 8.75, 12), 8.75f) << a;
        EXPECT_EQ(curve.Evaluate(12, 0.1, 0.7, 12), 0.7f) << a;
    }
}

// The formulas written out plainly: the shared per-frame factors must not
// change a single bit.
TEST(Easing, SameBitsAsThePlainFormulas) {
    const double pairs[][2] = {{0.1, 0.7}, {50, 10}, {-3.3, 1e6}, {1e-3, -2e-3}, {12345.678, 12345.679}};
    for (double k : {0.5, 3.0, 47.25}) {
        for (const auto& p : pairs) {
            const double i = p[0], f = p[1], d = f - i;
            for (float n : {3.0f, 9.0f, 12.5f, 1000.0f}) {
                for (float t = 0; t < n + 1; t += 1) {
                    const double td = t, nd = n;
                    const float s = static_cast<float>(d / nd);
                    EXPECT_EQ(tw::EaseLinear(t, n, i, f), static_cast<float>(i + td * static_cast<double>(s)));
                    const double up = i + (d * (td / nd)) * std::exp(k * (td - nd) / 100);
                    EXPECT_EQ(tw::EaseAccelerating(t, n, i, f, k), static_cast<float>(up));
                    double down = i + d * (1 - (1 - td / nd) * std::exp(-k * td / 100));
                    if ((f > i && down > f) || (f < i && down < f)) down = f;
                    EXPECT_EQ(tw::EaseDecelerating(t, n, i, f, k), static_cast<float>(down));
                }
            }
        }
    }
}

TEST(Easing, DeceleratingStopsAtTheFinalValue) {
    // Past the last frame the plain formula overshoots; the curve holds at F.
    const double plain = 2 + 8 * (1 - (1 - 5.0 / 4) * std::exp(-20 * 5.0 / 100));
    ASSERT_GT(plain, 10);
    EXPECT_EQ(tw::EaseDecelerating(5, 4, 2, 10, 20), 10.0f);
    EXPECT_EQ(tw::EaseDecelerating(5, 4, 10, 2, 20), 2.0f);
    EXPECT_GT(tw::EaseAccelerating(5, 4, 2, 10, 20), 10.0f);  // the other curves do not stop
}

}  // namespace
