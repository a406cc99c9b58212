// Host-free tests of the defined float-to-integer conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "tessel/numeric.h"

using tessel::trunc_i32;
using tessel::trunc_sat;

TEST(TruncSat, TruncatesTowardZero) {
    EXPECT_EQ(trunc_sat<int32_t>(2.9), 2);
    EXPECT_EQ(trunc_sat<int32_t>(-2.9), -2);
    EXPECT_EQ(trunc_sat<int32_t>(-0.0), 0);
    EXPECT_EQ(trunc_sat<int32_t>(0.9999999), 0);
    EXPECT_EQ(trunc_sat<int16_t>(-32768.9), -32768);
    EXPECT_EQ(trunc_sat<int16_t>(32767.9), 32767);
}

TEST(TruncSat, SaturatesAndDefinesNaN) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(trunc_sat<int32_t>(inf), INT32_MAX);
    EXPECT_EQ(trunc_sat<int32_t>(-inf), INT32_MIN);
    EXPECT_EQ(trunc_sat<int32_t>(2147483648.0), INT32_MAX);
    EXPECT_EQ(trunc_sat<int32_t>(2147483647.5), INT32_MAX);
    EXPECT_EQ(trunc_sat<int32_t>(-2147483648.5), INT32_MIN);
    EXPECT_EQ(trunc_sat<int32_t>(-2147483649.0), INT32_MIN);
    EXPECT_EQ(trunc_sat<int32_t>(std::nan("")), 0);
    EXPECT_EQ(trunc_sat<int32_t>(std::nan(""), -7), -7);
    EXPECT_EQ(trunc_sat<int64_t>(1e30), INT64_MAX);
    EXPECT_EQ(trunc_sat<int64_t>(-1e30), INT64_MIN);
    EXPECT_EQ(trunc_sat<int64_t>(9007199254740993.0), 9007199254740992LL);
    EXPECT_EQ(trunc_sat<int16_t>(1.0 * 32768), 32767);
    EXPECT_EQ(trunc_sat<int16_t>(-40000.0), -32768);
}

// Every power of two a single-precision number can hold, from the smallest
// subnormal 2^-149 to 2^127, both signs, and 1.5 times each: the expected
// results are worked out independently of the helpers.
TEST(TruncSat, EveryFloatPowerOfTwo) {
    for (int e = -149; e <= 127; e++) {
        for (int sign : {1, -1}) {
            const float p = std::ldexp(1.0f, e) * static_cast<float>(sign);
            const float q = p * 1.5f;
            int64_t want_p = e < 0 ? 0 : e >= 31 ? (sign > 0 ? INT32_MAX : INT32_MIN) : sign * (int64_t{1} << e);
            int64_t want_q = e < 0 ? 0 : e >= 31 ? (sign > 0 ? INT32_MAX : INT32_MIN)
                                               : sign * ((int64_t{3} << e) >> 1);
            EXPECT_EQ(trunc_sat<int32_t>(p), want_p) << p;
            EXPECT_EQ(trunc_sat<int32_t>(q), want_q) << q;
            EXPECT_EQ(trunc_i32(p), want_p) << p;
            EXPECT_EQ(trunc_i32(q), want_q) << q;
            EXPECT_EQ(trunc_sat<int16_t>(p), e < 0 ? 0 : e >= 15 ? (sign > 0 ? INT16_MAX : INT16_MIN) : want_p) << p;
        }
    }
}

// The vectorisable 32-bit form agrees with the general one on every power of
// two from 2^-149 to 2^127, both signs, and the specials.
TEST(TruncI32, AgreesWithTruncSat) {
    for (int e = -149; e <= 127; e++) {
        for (double s : {1.0, -1.0}) {
            double x = s * std::ldexp(1.0, e);
            EXPECT_EQ(trunc_i32(x), trunc_sat<int32_t>(x)) << x;
            EXPECT_EQ(trunc_i32(x * 1.5), trunc_sat<int32_t>(x * 1.5)) << x;
        }
    }
    const double inf = std::numeric_limits<double>::infinity();
    for (double x : {inf, -inf, 0.0, -0.0, 1e-45, -1e-45})
        EXPECT_EQ(trunc_i32(x), trunc_sat<int32_t>(x)) << x;
    EXPECT_EQ(trunc_i32(std::nan("")), 0);
    EXPECT_EQ(trunc_i32(std::nan(""), 5), 5);
}

// Either side of both limits, where the clamp and the cast meet: a value
// that truncates into range must not be clamped, one beyond must be (the
// sanitizer build catches a cast out of range even where the processor
// happens to give the limit).
TEST(TruncI32, AtTheLimits) {
    for (double x : {2147483646.5, 2147483647.0, 2147483647.5, 2147483648.0, 2147483649.0, 1e10,
                     -2147483647.5, -2147483648.0, -2147483648.5, -2147483649.0, -2147483650.0, -1e10})
        EXPECT_EQ(trunc_i32(x), trunc_sat<int32_t>(x)) << x;
}

// The same at compile time, where a cast out of range is an error rather
// than whatever the processor gives (x86 gives the smallest value for every
// such cast, so the checks above alone would not see one at -2^31 - 1).
static_assert(trunc_i32(-2147483649.0) == INT32_MIN && trunc_i32(-1e10) == INT32_MIN);
static_assert(trunc_i32(2147483648.0) == INT32_MAX && trunc_i32(1e10) == INT32_MAX);
static_assert(trunc_sat<int32_t>(-2147483649.0) == INT32_MIN && trunc_sat<int32_t>(2147483648.0) == INT32_MAX);
