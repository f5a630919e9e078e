#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "magn_ml.h"

namespace {

std::string printed(float ml)
{
    char buf[64];
    snprintf(buf, sizeof buf, "%4.2f", static_cast<double>(ml));
    return buf;
}

struct Case {
    float ampl, distance;
    const char *magnitude;
};

TEST(MagnMl, MagnitudesAsPrinted)
{
    const Case cases[] = {
        {1, 1, "1.40"},      {1, 32, "2.18"},     {10, 47.5f, "3.55"},  {1, 100, "3.00"},
        {1000, 100, "6.00"}, {2.5f, 250, "4.20"}, {1, 600, "4.90"},     {1, 650, "5.05"},
        {1, 999.9f, "5.70"}, {0.1f, 5, "0.40"},   {0.01f, 5, "-0.60"},  {1, 220, "3.65"},
        {1, 215, "3.62"},    {1, 99.9f, "3.00"},  {1, 105, "3.05"},     {1, 610, "4.93"},
    };
    for (const Case &c : cases) {
        int ok = -1;
        float ml = magn_ml(c.ampl, c.distance, &ok);
        EXPECT_EQ(ok, 1) << c.distance;
        EXPECT_EQ(printed(ml), c.magnitude) << c.ampl << " at " << c.distance << " km";
    }
}

TEST(MagnMl, OutsideTheTableGivesNoMagnitude)
{
    const float distances[] = {0.5f, 0.999999f, 1000, 1000.5f, 1e30f, -5, -INFINITY,
                               INFINITY, NAN, -0.0f};
    for (float d : distances) {
        int ok = -1;
        EXPECT_EQ(magn_ml(100, d, &ok), 0.0f) << d;
        EXPECT_EQ(ok, 0) << d;
    }
    int ok = -1;
    magn_ml(1, 1, &ok);
    EXPECT_EQ(ok, 1);
    magn_ml(1, std::nextafter(1000.0f, 0.0f), &ok);
    EXPECT_EQ(ok, 1);
}

// The calibration values, typed again from the table as published: the
// exported table holds them, and at each node the correction is the node's
// value exactly, in every band and on both sides of 100 km and 600 km.
TEST(MagnMl, NodesGiveTheirValueExactly)
{
    const char *values =
        "1.4 1.4 1.5 1.6 1.7 1.9 2.1 2.3 2.4 2.5 2.6 2.7 2.8 2.8 2.8 2.8 2.9 2.9 3.0 3.0 "
        "3.0 3.1 3.1 3.2 3.2 3.3 3.3 3.4 3.4 3.5 3.5 3.6 3.65 3.7 3.7 3.8 3.8 3.9 3.9 4.0 "
        "4.0 4.1 4.1 4.2 4.2 4.3 4.3 4.3 4.4 4.4 4.5 4.5 4.5 4.6 4.6 4.6 4.6 4.7 4.7 4.7 "
        "4.7 4.8 4.8 4.8 4.8 4.8 4.9 4.9 4.9 4.9 4.9 5.2 5.4 5.5 5.7";
    for (int i = 0; i < 75; i++) {
        char *end;
        float value = strtof(values, &end);
        values = end;
        EXPECT_EQ(ml_sigma[i], value) << "index " << i;
        float km = i <= 20 ? 5.0f * i : i <= 70 ? 100.0f + 10.0f * (i - 20) : 600.0f + 100.0f * (i - 70);
        int ok = 0;
        if (km >= 1 && km < 1000) {
            EXPECT_EQ(magn_ml(1, km, &ok), value) << km << " km";
        }
    }
}

// The table never falls with distance, so neither may the correction: a
// wrong band, offset or node shows as a step down somewhere.
TEST(MagnMl, CorrectionRisesSteadilyAcrossTheRange)
{
    int ok = 0;
    float last = magn_ml(1, 1, &ok);
    for (float km = 1; km < 1000; km = std::nextafter(km, 2000.0f) + km * 1e-5f) {
        float ml = magn_ml(1, km, &ok);
        ASSERT_EQ(ok, 1);
        ASSERT_GE(ml, last) << km;
        ASSERT_LE(ml, 5.7f) << km;
        last = ml;
    }
    // The highest distances of each band stay below the node above.
    for (float top : {100.0f, 600.0f, 1000.0f}) {
        float km = top;
        for (int i = 0; i < 64; i++) {
            km = std::nextafter(km, 0.0f);
            float ml = magn_ml(1, km, &ok);
            EXPECT_LE(ml, magn_ml(1, top == 1000 ? 999.0f : top, &ok) + 0.2f) << km;
            EXPECT_GE(ml, 2.9f) << km;
        }
    }
}

TEST(MagnMl, AmplitudeIsTakenAsItIs)
{
    int ok = 0;
    EXPECT_EQ(magn_ml(0, 50, &ok), -INFINITY);
    EXPECT_EQ(ok, 1);
    EXPECT_TRUE(std::isnan(magn_ml(-1, 50, &ok)));
    EXPECT_EQ(ok, 1);
}

// The network magnitude sorts its input, but refuses first, writing nothing, a value not finite; nor writes for none.
TEST(MagnMl, NetworkMagnitude)
{
    double network = 9, spread = 9;
    for (float bad : {NAN, INFINITY, -INFINITY})
        for (int at : {0, 3}) {
            float ml[] = {3.5f, 1.5f, 2.5f, 0.5f};
            ml[at] = bad;
            EXPECT_TRUE(magn_ml_network(ml, 4, &network, &spread) == -1 && ml[1] == 1.5f && ml[2] == 2.5f) << at;
        }
    float ml[] = {3.5f, 1.5f, 2.5f, 0.5f};
    EXPECT_TRUE(magn_ml_network(ml, 0, &network, &spread) == 0 && magn_ml_network(ml, -1, &network, &spread) == 0 && network == 9 && spread == 9 && ml[0] == 3.5f);
    EXPECT_TRUE(magn_ml_network(ml, 1, &network, &spread) == 1 && network == 3.5 && spread == -1);
    EXPECT_TRUE(magn_ml_network(ml, 4, &network, &spread) == 4 && ml[0] == 0.5f && ml[1] == 1.5f && ml[2] == 2.5f && ml[3] == 3.5f);
}

// A digest of the bits of many magnitudes: the same figure at every
// optimisation level and on every machine, or a rounding step has changed.
TEST(MagnMl, ResultsAreBitForBitStable)
{
    uint64_t digest = 1469598103934665603u;
    int ok = 0;
    for (float ampl : {1e-3f, 0.01f, 0.1f, 0.5f, 1.0f, 2.5f, 7.0f, 10.0f, 123.4f, 1e6f}) {
        for (float km = 0.5f; km < 1001; km += 0.37f) {
            float ml = magn_ml(ampl, km, &ok);
            uint32_t bits;
            memcpy(&bits, &ml, sizeof bits);
            digest = (digest ^ bits ^ static_cast<uint64_t>(ok) << 32) * 1099511628211u;
        }
    }
    EXPECT_EQ(digest, 13306934929502327471u);
}

}  // namespace
