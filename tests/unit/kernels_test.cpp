// Host-free tests of the per-sample kernels (signal/kernels.h), each against
// a plain reference: the double-precision forms, which only a 64-bit host
// runs (and against the single-precision form where both must agree), and
// the single-precision ones where a sample the suite in the host cannot
// easily make would show a fault (NaN payloads, products of exactly 2^31,
// blocks whose sum rounds differently in lanes).
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

// The single-precision form on the bits: every NaN, whatever its payload and
// sign, gives +0 (a NaN can reach swap~ from a sound file or a table); the
// infinities and the floats either side of +-1 saturate or not as the rule says.
TEST(Kernels, FloatSwapOfEveryNaNAndAroundOne) {
    uint32_t wrong = 0, first = 0;
    for (uint32_t payload = 1; payload < 0x800000u; payload++)
        for (uint32_t sign : {0u, 0x80000000u}) {
            uint32_t b = sign | 0x7f800000u | payload;
            if (bits(vesk::swap_sample(from_bits<float>(b))) != 0 && !wrong++)
                first = b;
        }
    EXPECT_EQ(wrong, 0u) << "first NaN wrongly converted: 0x" << std::hex << first;
    const float inf = std::numeric_limits<float>::infinity();
    for (float x : {inf, -inf, 1.0f, -1.0f, std::nextafter(1.0f, 0.0f), std::nextafter(-1.0f, 0.0f),
                    std::nextafter(1.0f, 2.0f), std::nextafter(-1.0f, -2.0f)})
        EXPECT_EQ(bits(vesk::swap_sample(x)), bits(static_cast<float>(reference_swap(x)))) << x;
}

// The single-precision form, from |q| and |dq|: trunc(x * q) saturating,
// which reads +-2^31 once rounded (2^31 itself included), times dq.
static void check_pow2_float(float x, float aq, float adq) {
    float want = static_cast<float>(tessel::trunc_sat<int32_t>(x * aq)) * adq + 0;
    EXPECT_EQ(bits(vesk::quantize_pow2_sample(x, aq, adq)), bits(want)) << x << " " << aq << " " << adq;
}

TEST(Kernels, FloatPowerOfTwoQuantizing) {
    const float inf = std::numeric_limits<float>::infinity();
    for (float p : {2147483648.0f, 2147483520.0f, 4294967296.0f, 1e30f, inf, std::nanf(""), 0.5f, 0.0f, 3.75f})
        for (float sign : {1.0f, -1.0f})
            for (float aq : {1.0f, 0.5f, 4.0f})
                for (float adq : {1.0f, 0.25f})
                    check_pow2_float(sign * p / aq, aq, adq);
    std::mt19937 rng(14);
    for (int i = 0; i < 200000; i++) {
        float x = std::ldexp(static_cast<float>(static_cast<int32_t>(rng())) / 2.2e9f, int(rng() % 80) - 40);
        float aq = std::ldexp(1.0f, int(rng() % 60) - 30);
        check_pow2_float(x, aq, 1.0f / aq);
    }
}

// The single-precision sum: whatever path it takes, start plus the samples
// added in order in a double. A block whose exponents span more binades than
// a double holds exactly gives another sum in eight lanes than in order.
static double in_order(float start, const float *in, size_t n) {
    double total = start;
    for (size_t i = 0; i < n; i++)
        total += in[i];
    return total;
}

// A NaN is any NaN: which one an addition of two keeps is the compiler's
// choice of operand order, in order too.
static void check_block_sum(float start, const std::vector<float> &in, const char *what) {
    float want = static_cast<float>(in_order(start, in.data(), in.size()));
    float got = vesk::block_sum(start, in.data(), static_cast<t_int>(in.size()));
    if (std::isnan(want))
        ASSERT_TRUE(std::isnan(got)) << what << ", " << in.size() << " samples from " << start;
    else
        ASSERT_EQ(bits(got), bits(want)) << what << ", " << in.size() << " samples from " << start;
}

TEST(Kernels, FloatBlockSumAddsInOrder) {
    // a small number (the start, or a sample; a power of two or not), then a
    // big one that swallows it in order, the big one negated in the same
    // lane: in order the sum is 0, in lanes the small number
    for (int span = 0; span <= 70; span++)
        for (int at = -1; at < 17; at++)
            for (float small : {1.0f + 0x1p-23f, 1.0f, -1.0f - 0x1p-23f, -1.0f}) {
                float big = 0x1p40f;
                small = std::ldexp(small, 40 - span);
                std::vector<float> in(27, 0.0f);
                size_t b = at < 0 ? 1 : static_cast<size_t>(at + 1);  // never the start's lane
                if (at >= 0)
                    in[static_cast<size_t>(at)] = small;
                in[b] = big;
                in[b + 8] = -big;
                check_block_sum(at < 0 ? small : 0.0f, in, "a small number, then a big one and its negation");
                in.assign(17, small);  // the small ones in every lane, the big one's with them
                in[static_cast<size_t>(at + 1) % 17] = big;
                in[static_cast<size_t>(at + 9) % 17] = -big;
                check_block_sum(0.0f, in, "small numbers, a big one and its negation");
            }
    // a big number (the start, or the first sample) at every exponent, then
    // 1024 small ones 34 binades below, whose last bits its double loses,
    // adding up to half a float step: in order the sum is the tie and rounds
    // to even, in lanes it lies above and rounds up
    for (int e = 35; e < 255; e++)
        for (float sign : {1.0f, -1.0f})
            for (bool first : {false, true}) {
                float big = sign * from_bits<float>(static_cast<uint32_t>(e) << 23);
                std::vector<float> in(1024, sign * std::ldexp(1.0f + 0x1p-23f, e - 127 - 34));
                if (first)
                    in.insert(in.begin(), big);
                check_block_sum(first ? 0.0f : big, in, "small numbers after a big one");
            }
    // after one chunk of 1024 the total is a double that no float holds (1 +
    // 2^-24 + 2^-52, times a power of two): in order the next chunk's 1 lands
    // on a tie and rounds off the last bit, and its -1 leaves a float tie that
    // rounds to even; in lanes the 1 and -1 cancel first and the total rounds up
    for (int e = -100; e <= 100; e += 4) {
        std::vector<float> in(1040, 0.0f);
        in[0] = std::ldexp(1.0f, e), in[1] = std::ldexp(1.0f, e - 24), in[2] = std::ldexp(1.0f, e - 52);
        in[1028] = std::ldexp(1.0f, e), in[1029] = -std::ldexp(1.0f, e);
        check_block_sum(0.0f, in, "a total no float holds");
    }
    // random blocks whose exponents span a few to many binades, a sample now
    // and then the negation of an earlier one (so that big ones cancel and
    // small ones show), with zeros, subnormals, infinities and NaNs; some
    // longer than one chunk of 1024
    std::mt19937 rng(15);
    const float specials[] = {0.0f, -0.0f, 1e-45f, -3e-40f, std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(), from_bits<float>(0x7fc00001u),
                              from_bits<float>(0xffc12345u)};
    for (int trial = 0; trial < 6000; trial++) {
        size_t n = trial % 10 == 9 ? 1020 + rng() % 2100 : rng() % 40;
        int spread = 1 + static_cast<int>(rng() % 64), base = static_cast<int>(rng() % 200) - 140;
        std::vector<float> in(n);
        for (size_t i = 0; i < n; i++) {
            uint32_t r = static_cast<uint32_t>(rng());
            float mag = std::ldexp(1.0f + static_cast<float>(r & 0x7fffff) * 0x1p-23f, base + static_cast<int>(rng() % spread));
            in[i] = r % 97 == 0 ? specials[r % 8] : (i && r % 4 == 0) ? -in[rng() % i] : (r >> 31) ? -mag : mag;
        }
        float start = (rng() & 3) ? 0.0f : std::ldexp(1.0f, base + spread);
        check_block_sum(start, in, "random");
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
