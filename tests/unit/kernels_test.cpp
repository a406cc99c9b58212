// Host-free tests of the double-precision forms of the per-sample kernels
// (signal/kernels.h), which only a 64-bit host runs: each against a plain
// reference, and against the single-precision form where both must agree.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "../../signal/kernels.h"
#include "tessel/numeric.h"

using tessel::bits;
using tessel::from_bits;

// swap~'s rule on a double: x * 32768 truncated to 16 bits, saturating, NaN
// 0; the bytes exchanged; read back signed and scaled by 2^-15.
static double reference_swap(double x) {
    int32_t s = std::isnan(x) ? 0 : x >= 1 ? 32767 : x <= -1 ? -32768 : static_cast<int32_t>(x * 32768);
    auto u = static_cast<uint16_t>(s);
    auto swapped = static_cast<int16_t>(static_cast<uint16_t>((u << 8) | (u >> 8)));
    return swapped / 32768.0;
}

TEST(Kernels, DoubleSwapAgreesWithTheRuleAndWithSinglePrecision) {
    const double inf = std::numeric_limits<double>::infinity();
    for (double x : {0.0, -0.0, 1.0, -1.0, 0.99999999, -0.99999999, 1 / 32768.0, -1 / 32768.0, 1.5 / 32768,
                     -1.5 / 32768, 255 / 32768.0, -257 / 32768.0, 0.5, -0.5, 2.0, -2.0, 1e300, -1e300, inf, -inf,
                     std::nan(""), -std::nan(""), 4.9e-324})
        EXPECT_EQ(bits(vesk::swap_sample(x)), bits(reference_swap(x))) << x;
    std::mt19937 rng(11);
    for (int i = 0; i < 300000; i++) {
        // every float is a double: both forms give the same sample
        auto b = static_cast<uint32_t>(rng());
        if (i & 1)
            b = (b & 0x807fffffu) | ((0x70u + (b >> 27)) << 23);  // magnitudes around 2^-15 to 2
        float x = from_bits<float>(b);
        if (std::isnan(x))
            continue;
        ASSERT_EQ(vesk::swap_sample(static_cast<double>(x)), static_cast<double>(vesk::swap_sample(x))) << x;
        ASSERT_EQ(bits(vesk::swap_sample(static_cast<double>(x))), bits(reference_swap(x))) << x;
    }
}

// quantize~ with a power of two q: trunc(x * q) saturating at the 32-bit
// range (x * q is exact, or infinite), times dq; NaN gives 0; +0 for zeros.
template <bool Wide>
static void check_pow2(double x, double q, double dq) {
    double want = static_cast<double>(tessel::trunc_sat<int32_t>(x * q)) * dq + 0;
    EXPECT_EQ(bits(vesk::quantize_pow2_sample<Wide>(x, q, dq)), bits(want)) << x << " " << q << " " << dq;
}

TEST(Kernels, DoublePowerOfTwoQuantizing) {
    const double inf = std::numeric_limits<double>::infinity();
    volatile double edge[] = {2147483646.5, 2147483647.0, 2147483647.5, 2147483648.0, 2147483649.0, -2147483647.5,
                              -2147483648.0, -2147483648.5, -2147483649.0, 1e300, -1e300, inf, -inf, 0.5, -0.5,
                              0.0, -0.0, 3.75, -3.75, std::nan("")};
    for (double x : edge)
        for (double q : {1.0, 0.5, 4.0, -2.0})
            for (double dq : {1.0, 0.25, -3.0}) {
                check_pow2<false>(x, q, dq);
                check_pow2<true>(x, q, dq);
            }
    std::mt19937_64 rng(12);
    for (int i = 0; i < 200000; i++) {
        double x = std::ldexp(static_cast<double>(static_cast<int64_t>(rng())) / 9.2e18, int(rng() % 80) - 40);
        double q = std::ldexp(1.0, int(rng() % 60) - 30) * ((rng() & 1) ? -1 : 1);
        double dq = 1.0 / q;
        check_pow2<false>(x, q, dq);
        check_pow2<true>(x, q, dq);
    }
}

TEST(Kernels, DoubleBlockSumAddsInOrder) {
    std::mt19937_64 rng(13);
    for (t_int n : {0, 1, 7, 8, 9, 64, 1000}) {
        std::vector<double> in(static_cast<size_t>(n));  // exactly n: a read beyond is an error here
        for (auto &v : in)
            v = std::ldexp(static_cast<double>(static_cast<int64_t>(rng())) / 9.2e18, int(rng() % 100) - 50);
        double start = 0.1, want = start;
        for (double v : in)
            want += v;
        EXPECT_EQ(bits(vesk::block_sum(start, in.data(), n)), bits(want)) << n;
    }
}
