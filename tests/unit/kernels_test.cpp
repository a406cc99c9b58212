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

// --- which routine "dsp" registers (x86-64: the portable one or the one for
// AVX2 and FMA) --------------------------------------------------------------
// Both routines give the same samples, so the suite in the host cannot tell
// which one runs; here dsp_add stands in for the host's and keeps what it
// was given. The choice is worked out once per module, so each case runs in
// a child process of its own, with its own environment.
#if VESK_VARIANTS && defined(__linux__)
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

static t_perfroutine added;
extern "C" void dsp_add(t_perfroutine f, int, ...) {
    added = f;
}

static void kernels_routine(const t_sample *, t_sample *, t_int) {}
static void kernels_wide(const t_sample *, t_sample *, t_int) {}

// 0 when the child saw what `avx2` says it should have
static int kernels_choice(bool avx2) {
    using R = vesk::routine<decltype(&kernels_routine)>;
    int wrong = 0;
    wrong |= (vesk::processor() == vesk::cpu::avx2) == avx2 ? 0 : 1;
    vesk::add<kernels_routine>(static_cast<const t_sample *>(nullptr), static_cast<t_sample *>(nullptr), t_int{0});
    wrong |= added == (avx2 ? &R::perform_avx2<kernels_routine> : &R::perform<kernels_routine>) ? 0 : 2;
    vesk::add_pair<kernels_routine, kernels_wide>(static_cast<const t_sample *>(nullptr), static_cast<t_sample *>(nullptr),
                                                 t_int{0});
    wrong |= added == (avx2 ? &R::perform_avx2<kernels_wide> : &R::perform<kernels_routine>) ? 0 : 4;
    return wrong;
}

static int kernels_in_child(const char *cpu_env, bool avx2) {
    pid_t pid = fork();
    if (pid == 0) {
        if (cpu_env)
            setenv("TESSEL_CPU", cpu_env, 1);
        else
            unsetenv("TESSEL_CPU");
        _exit(kernels_choice(avx2));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

TEST(Routines, TheProcessorAndTheEnvironmentChoose) {
    __builtin_cpu_init();
    bool wide = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    EXPECT_EQ(kernels_in_child(nullptr, wide), 0);       // as the processor can
    EXPECT_EQ(kernels_in_child("base", false), 0);      // forced to the portable routines
    EXPECT_EQ(kernels_in_child("avx2", wide), 0);       // another value forces nothing
    if (!wide)
        GTEST_SKIP() << "this processor has no AVX2 and FMA: only the portable routines were seen";
}
#else
TEST(Routines, TheProcessorAndTheEnvironmentChoose) {
    GTEST_SKIP() << "one routine per kernel on this target";
}
#endif
