#include "sim/grid/velocity_field.h"
#include "tests/support/fields.h"
#include "sim/tracers/tracers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <utility>
#include <limits>

namespace {

VelocityField uniformField(double u, double v)
{
    VelocityField field(50, 50, 1.0);
    testing_support::fillField(field, u, v);
    return field;
}

Tracer tracerAt(float x, float y)
{
    Tracer tracer;
    tracer.position = {x, y};
    tracer.lifetime = tracerLifetime();
    return tracer;
}

TEST(TracerRandom, IsTheCStandardsPortableGeneratorSeededWithOne)
{
    TracerRandom random;
    EXPECT_EQ(random.next(), 16838);
    EXPECT_EQ(random.next(), 5758);
    EXPECT_EQ(random.next(), 10113);
    EXPECT_EQ(random.next(), 17515);
    TracerRandom other;
    for (int k = 0; k < 100000; ++k) {
        const int value = other.next();
        ASSERT_GE(value, 0);
        ASSERT_LE(value, TracerRandom::maximum);
    }
}

TEST(Tracers, FirstFrameCreatesFourHundredFromTheGenerator)
{
    const VelocityField field = uniformField(0.0, 0.0);
    TracerList tracers;
    TracerRandom random;
    updateTracers(tracers, random, field, tracerLifetime());
    ASSERT_EQ(tracers.size(), 400u);
    // The C standard's portable generator, seeded with 1, worked out here:
    // each position is min + r*(max - min)/32767 in single precision, to the bit.
    unsigned long next = 1;
    auto generated = [&next] {
        next = next * 1103515245 + 12345;
        return float(unsigned(next / 65536) % 32768);
    };
    for (const Tracer& tracer : tracers) {
        const float x = 0.0f + generated() * (50.0f - 0.0f) / 32767.0f;
        const float y = 0.0f + generated() * (50.0f - 0.0f) / 32767.0f;
        ASSERT_EQ(std::memcmp(&tracer.position.x, &x, sizeof x), 0) << tracer.position.x << " vs " << x;
        ASSERT_EQ(std::memcmp(&tracer.position.y, &y, sizeof y), 0) << tracer.position.y << " vs " << y;
    }
    for (const Tracer& tracer : tracers) {
        ASSERT_GE(tracer.position.x, 0.0f);
        ASSERT_LE(tracer.position.x, 50.0f);
        ASSERT_GE(tracer.position.y, 0.0f);
        ASSERT_LE(tracer.position.y, 50.0f);
        ASSERT_EQ(tracer.trail.size(), 1u);
        ASSERT_EQ(tracer.age, 1);
        ASSERT_FALSE(tracer.dying);
        ASSERT_EQ(tracer.trail[0].x, tracer.position.x);  // at rest: the spawn position
    }
}

TEST(Tracers, LifeInARestingField)
{
    const VelocityField field = uniformField(0.0, 0.0);
    TracerList tracers{tracerAt(10.0f, 20.0f)};
    for (uint32_t k = 1; k < maxTracers; ++k)
        tracers.push_back(tracerAt(1.0f, 1.0f));
    TracerRandom random;
    auto frames = [&](int count) {
        for (int k = 0; k < count; ++k)
            updateTracers(tracers, random, field, tracerLifetime());
    };
    frames(51);
    EXPECT_EQ(tracers.front().trail.size(), 51u);
    frames(149);  // frame 200
    EXPECT_EQ(tracers.front().trail.size(), 51u);
    EXPECT_FALSE(tracers.front().dying);
    EXPECT_EQ(tracers.front().trail[50].x, 10.0f);  // at rest it never moves
    frames(1);    // frame 201
    EXPECT_TRUE(tracers.front().dying);
    EXPECT_EQ(tracers.front().trail.size(), 50u);
    frames(50);   // frame 251
    EXPECT_TRUE(tracers.front().trail.empty());
    EXPECT_EQ(tracers.size(), 400u);
    frames(1);    // frame 252: all 400 aged together and are removed, none replaced yet
    EXPECT_TRUE(tracers.empty());
    frames(1);    // frame 253
    ASSERT_EQ(tracers.size(), 400u);  // frame 253 tops the population up again
    EXPECT_EQ(tracers.front().age, 1);
}

TEST(Tracers, UniformFlowCarriesATracerOutOfTheRegion)
{
    const VelocityField field = uniformField(10.0, 0.0);
    TracerList tracers;
    for (uint32_t k = 0; k < maxTracers; ++k)
        tracers.push_back(tracerAt(5.0f, 5.0f));
    tracers.front().position = {45.0f, 25.0f};
    TracerRandom random;
    for (int frame = 1; frame <= 10; ++frame)
        updateTracers(tracers, random, field, tracerLifetime());
    EXPECT_FLOAT_EQ(tracers.front().position.x, 50.0f);
    EXPECT_EQ(tracers.front().position.y, 25.0f);
    EXPECT_FALSE(tracers.front().dying);
    int frame = 10;
    while (!tracers.front().dying) {
        ++frame;
        const float before = tracers.front().position.x;
        updateTracers(tracers, random, field, tracerLifetime());
        if (tracers.front().dying) {
            EXPECT_TRUE(before <= 50.0f && tracers.front().position.x > 50.0f);
        }
        ASSERT_LT(frame, 20);
    }
    EXPECT_EQ(tracers.front().trail.size(), uint32_t(frame));  // recorded up to the frame it left
}

TEST(Tracers, RungeKuttaStepIsSinglePrecision)
{
    // A shear u = y: one step from (10, 20.5) follows the field's samples exactly.
    VelocityField field(50, 50, 1.0);
    for (uint32_t i = 0; i <= 50; ++i)
        for (uint32_t j = 0; j < 50; ++j)
            field.u.at(i, j) = j + 0.5;
    for (size_t k = 0; k < field.v.size(); ++k)
        field.v.data[k] = 0.0;
    const TracerPoint p = advanceTracer({10.0f, 20.5f}, field);
    EXPECT_FLOAT_EQ(p.x, 10.0f + 0.05f * 20.5f);
    EXPECT_EQ(p.y, 20.5f);
}

TEST(Tracers, RungeKuttaStepInARotationFollowsTheClassicalStagesInSinglePrecision)
{
    // A rotation about (2, 2), so that the velocity changes along the path:
    // Euler steps, stages offset by a full step, other weights and stages in
    // double precision all land elsewhere than the classical RK4 in floats.
    VelocityField field(50, 50, 1.0);
    for (uint32_t i = 0; i <= 50; ++i)
        for (uint32_t j = 0; j < 50; ++j)
            field.u.at(i, j) = -8.0 * ((j + 0.5) - 2.0);
    for (uint32_t i = 0; i < 50; ++i)
        for (uint32_t j = 0; j <= 50; ++j)
            field.v.at(i, j) = 8.0 * ((i + 0.5) - 2.0);
    auto velocity = [&field](float x, float y) {
        const Velocity w = field.velocityAt(x, y);
        return std::pair<float, float>(float(w.x), float(w.y));
    };
    // Near the origin, where a float's steps are fine enough to show how the
    // stages were rounded.
    for (int point = 0; point < 36; ++point) {
        const TracerPoint start{0.3f + 0.61f * float(point % 6), 0.45f + 0.57f * float(point / 6)};
        const float h = 0.05f;
        const auto [ax, ay] = velocity(start.x, start.y);
        const auto [bx, by] = velocity(start.x + h * ax / 2.0f, start.y + h * ay / 2.0f);
        const auto [cx, cy] = velocity(start.x + h * bx / 2.0f, start.y + h * by / 2.0f);
        const auto [dx, dy] = velocity(start.x + h * cx, start.y + h * cy);
        const float x = start.x + (((h * ax + 2.0f * (h * bx)) + 2.0f * (h * cx)) + h * dx) / 6.0f;
        const float y = start.y + (((h * ay + 2.0f * (h * by)) + 2.0f * (h * cy)) + h * dy) / 6.0f;
        const TracerPoint p = advanceTracer(start, field);
        EXPECT_EQ(std::memcmp(&p.x, &x, sizeof x), 0) << "from " << start.x << ": " << p.x << " vs " << x;
        EXPECT_EQ(std::memcmp(&p.y, &y, sizeof y), 0) << "from " << start.y << ": " << p.y << " vs " << y;
    }
}

TEST(Tracers, NanTracerStaysUntilItAgesOut)
{
    const VelocityField field = uniformField(0.0, 0.0);
    TracerList tracers{tracerAt(std::nanf(""), 3.0f)};
    for (uint32_t k = 1; k < maxTracers; ++k)
        tracers.push_back(tracerAt(1.0f, 1.0f));
    TracerRandom random;
    for (int frame = 1; frame <= 200; ++frame)
        updateTracers(tracers, random, field, tracerLifetime());
    EXPECT_TRUE(std::isnan(tracers.front().position.x));
    EXPECT_FALSE(tracers.front().dying);
    updateTracers(tracers, random, field, tracerLifetime());
    EXPECT_TRUE(tracers.front().dying);
}

TEST(Tracers, RemovalKeepsTheOrderOfTheOthers)
{
    const VelocityField field = uniformField(0.0, 0.0);
    TracerList tracers;
    for (uint32_t k = 0; k < maxTracers; ++k)
        tracers.push_back(tracerAt(float(k % 50), 1.0f));
    tracers[5].dying = true;
    tracers[5].trail.append({0.0f, 0.0f});
    tracers[9].dying = true;  // empty trail: removed at once
    TracerRandom random;
    updateTracers(tracers, random, field, tracerLifetime());
    ASSERT_EQ(tracers.size(), 399u);
    EXPECT_EQ(tracers[8].position.x, 8.0f);
    EXPECT_EQ(tracers[9].position.x, 10.0f);
    EXPECT_TRUE(tracers[5].dying && tracers[5].trail.empty());
    updateTracers(tracers, random, field, tracerLifetime());
    EXPECT_EQ(tracers.size(), 399u);          // the top-up comes before the walk
    EXPECT_EQ(tracers[5].position.x, 6.0f);   // the dead one is gone
}

TEST(TrailColour, ShadesAlongXAndFadesTowardsTheTail)
{
    const TrailColour seven = trailColour(7.0f, 0, 1);
    EXPECT_NEAR(seven.red, 0.119, 1e-3);
    EXPECT_EQ(seven.green, 1.0f);
    EXPECT_NEAR(seven.blue, 0.881, 1e-3);
    const TrailColour left = trailColour(0.0f, 3, 4);
    EXPECT_EQ(left.red, 0.5f);
    EXPECT_EQ(left.blue, 0.5f);
    EXPECT_EQ(left.alpha, 0.75f);
    EXPECT_EQ(trailColour(20.0f, 0, 51).alpha, 0.0f);
    EXPECT_FLOAT_EQ(trailColour(20.0f, 50, 51).alpha, 50.0f / 51.0f);
}

}  // namespace
