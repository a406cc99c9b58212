// The routines for wider processors give the samples of the portable ones.
//
// The class sources are compiled in whole, and each perform routine is run
// through both entries that "dsp" chooses between (vesk::routine's perform,
// compiled for every x86-64, and perform_avx2, for processors with AVX2 and
// FMA) on the same input, in separate buffers and in place; the outputs and
// the objects' state must agree bit for bit. quantize~ (in each of its
// modes) and swap~ see every 32-bit input pattern of a single-precision
// build; the other kernels, and a double-precision build, see random blocks
// with the special values mixed in. Where the processor has no AVX2 the
// test reports itself skipped.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "../../signal/blockmean~.cpp"
#include "../../signal/crosspitch~.cpp"
#include "../../signal/halfturn~.cpp"
#include "../../signal/quantize~.cpp"
#include "../../signal/rectify~.cpp"
#include "../../signal/retro~.cpp"
#include "../../signal/sgn~.cpp"
#include "../../signal/swap~.cpp"
#include "../../signal/z~.cpp"

namespace {

using B = tessel::ieee<t_sample>;

#if VESK_VARIANTS
bool wide() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

// Runs Fn's two entries on the same words, with `out` standing for each
// output vector: returns false at the first block whose outputs differ.
template <auto Fn, auto Wide = Fn>
void both(t_int *wa, t_int *wb) {
    using R = vesk::routine<decltype(Fn)>;
    R::template perform<Fn>(wa);
    R::template perform_avx2<Wide>(wb);
}
#else
// One routine on this target: every case skips before it would compare.
bool wide() { return false; }

template <auto Fn, auto Wide = Fn>
void both(t_int *, t_int *) {}
#endif

#define SKIP_WITHOUT_AVX2()                                                            \
    do {                                                                               \
        if (!VESK_VARIANTS)                                                            \
            GTEST_SKIP() << "one routine on this target: nothing to compare";          \
        if (!wide())                                                                   \
            GTEST_SKIP() << "this processor has no AVX2 and FMA: only the portable "   \
                            "routine can run here";                                    \
    } while (0)

// Random samples with zeros, subnormal numbers, infinities, NaN, integers
// and values near the classes' thresholds mixed in.
std::vector<t_sample> random_block(std::mt19937_64 &rng, std::size_t n) {
    std::vector<t_sample> v(n);
    std::uniform_real_distribution<double> u(-1, 1);
    for (auto &x : v) {
        switch (rng() % 16) {
        case 0: x = tessel::from_bits<t_sample>(static_cast<B::uint>(rng())); break;
        case 1: x = tessel::from_bits<t_sample>(static_cast<B::uint>(rng()) & (B::frac | B::sign)); break;
        case 2: x = 0; break;
        case 3: x = static_cast<t_sample>(static_cast<int>(rng() % 200) - 100); break;
        case 4: x = static_cast<t_sample>(u(rng) * 1e10); break;
        default: x = static_cast<t_sample>(u(rng));
        }
    }
    return v;
}

bool same(const std::vector<t_sample> &a, const std::vector<t_sample> &b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(t_sample)) == 0;
}

// Compares a routine with words (obj, in, out, n) or (in, out, n): both
// entries, separate and in place, block after block so that state carries.
// The objects' own fields after x_obj agree (z~'s line is compared apart:
// its pointer differs).
template <class Obj>
bool state_same(const Obj &a, const Obj &b) {
    if constexpr (std::is_same_v<Obj, t_zNdelay>)
        return a.bufsize == b.bufsize && a.phase == b.phase;
    else
        return std::memcmp(reinterpret_cast<const char *>(&a) + sizeof(t_object),
                           reinterpret_cast<const char *>(&b) + sizeof(t_object), sizeof a - sizeof(t_object)) == 0;
}

// The order of a routine's words: (obj, in, out, n), (in, out, n, obj) or
// (in, out, obj, n).
enum words { obj_in_out_n, in_out_n_obj, in_out_obj_n };

template <auto Fn, class Obj, auto Wide = Fn>
void compare_blocks(Obj &xa, Obj &xb, words order, std::uint64_t seed, int blocks, t_int n) {
#if VESK_VARIANTS
    std::mt19937_64 rng(seed);
    for (int b = 0; b < blocks; b++) {
        std::vector<t_sample> in = random_block(rng, static_cast<std::size_t>(n));
        for (int inplace = 0; inplace < 2; inplace++) {
            std::vector<t_sample> ia = in, ib = in, oa(in.size()), ob(in.size());
            t_sample *pa = inplace ? ia.data() : oa.data(), *pb = inplace ? ib.data() : ob.data();
            auto fill = [order, n](t_int *w, Obj *x, t_sample *i, t_sample *o) {
                t_int xo = reinterpret_cast<t_int>(x), io = reinterpret_cast<t_int>(i),
                      oo = reinterpret_cast<t_int>(o);
                t_int v[3][4] = {{xo, io, oo, n}, {io, oo, n, xo}, {io, oo, xo, n}};
                w[0] = 0;
                std::memcpy(w + 1, v[order], sizeof v[order]);
            };
            t_int wa[5], wb[5];
            fill(wa, &xa, ia.data(), pa);
            fill(wb, &xb, ib.data(), pb);
            both<Fn, Wide>(wa, wb);
            std::vector<t_sample> ra(pa, pa + n), rb(pb, pb + n);
            ASSERT_TRUE(same(ra, rb)) << "block " << b << (inplace ? " in place" : " separate");
            ASSERT_TRUE(state_same(xa, xb)) << "state after block " << b;
        }
    }
#endif
}

// Every 32-bit pattern through a routine with words (obj, in, out, n). The
// sanitizer build, many times slower, takes every 61st block of patterns
// (the plain builds take them all).
#ifdef __SANITIZE_ADDRESS__
constexpr std::uint64_t pattern_stride = 61;
#else
constexpr std::uint64_t pattern_stride = 1;
#endif

template <auto Fn, class Obj, auto Wide = Fn>
void compare_every_pattern(Obj &xa, Obj &xb) {
#if VESK_VARIANTS
    constexpr t_int n = 4096;
    std::vector<t_sample> in(n), oa(n), ob(n);
    for (std::uint64_t base = 0; base < (std::uint64_t(1) << 32); base += n * pattern_stride) {
        for (t_int i = 0; i < n; i++)
            in[static_cast<std::size_t>(i)] = tessel::from_bits<t_sample>(static_cast<B::uint>(base + i));
        t_int wa[] = {0, reinterpret_cast<t_int>(&xa), reinterpret_cast<t_int>(in.data()),
                      reinterpret_cast<t_int>(oa.data()), n};
        t_int wb[] = {0, reinterpret_cast<t_int>(&xb), reinterpret_cast<t_int>(in.data()),
                      reinterpret_cast<t_int>(ob.data()), n};
        both<Fn, Wide>(wa, wb);
        if (!same(oa, ob)) {
            for (t_int i = 0; i < n; i++)
                ASSERT_EQ(tessel::bits(oa[i]), tessel::bits(ob[i])) << "input bits " << std::hex << (base + i);
        }
    }
#endif
}

}  // namespace

// Each of quantize~'s modes, one case each (ctest runs them side by side):
// 16 bit (a power of two), a negative power of two, 3 (a step formed in two
// halves), 0.1 (a step of 10: exact in a double), a subnormal step (3e38 in
// single precision, 1e308 in double) and -1000.7.
constexpr t_float tiny_step = sizeof(t_sample) == 4 ? t_float(3e38) : t_float(1e308);

class QuantizeEveryPattern : public testing::TestWithParam<t_float> {};

TEST_P(QuantizeEveryPattern, Mode) {
    SKIP_WITHOUT_AVX2();
    t_float q = GetParam();
    t_quantize a{}, b{};
    quantize_set(&a, q);
    quantize_set(&b, q);
    if constexpr (sizeof(t_sample) == 4)
        compare_every_pattern<quantize_perform<true>, t_quantize, quantize_perform<true, true>>(a, b);
    else
        compare_blocks<quantize_perform<true>, t_quantize, quantize_perform<true, true>>(a, b, obj_in_out_n, 1,
                                                                                         4000, 4096);
    compare_blocks<quantize_perform<false>, t_quantize, quantize_perform<false, true>>(a, b, obj_in_out_n, 2, 200,
                                                                                       63);
}

INSTANTIATE_TEST_SUITE_P(Variants, QuantizeEveryPattern,
                         testing::Values(t_float(32768), t_float(-4), t_float(3), t_float(0.1), tiny_step,
                                         t_float(-1000.7)));

TEST(Variants, QuantizeModes) {
    // the step counts above take every mode the precision has
    const t_float steps[] = {32768, -4, 3, 0.1, tiny_step, -1000.7};
    bool seen[5] = {};
    for (t_float q : steps) {
        t_quantize a{};
        quantize_set(&a, q);
        seen[a.mode] = true;
    }
    EXPECT_TRUE(seen[quantize_pow2] && seen[quantize_wide] && seen[quantize_tiny]);
    EXPECT_EQ(seen[quantize_split], sizeof(t_sample) == 4);
}

TEST(Variants, SwapEveryPattern) {
    SKIP_WITHOUT_AVX2();
    t_swap a{}, b{};
    a.swapper = b.swapper = 1;
    if constexpr (sizeof(t_sample) == 4)
        compare_every_pattern<swap_perform8>(a, b);
    else
        compare_blocks<swap_perform8>(a, b, obj_in_out_n, 3, 4000, 4096);
    compare_blocks<swap_perform>(a, b, obj_in_out_n, 4, 200, 63);
}

TEST(Variants, SignAndAbsoluteValue) {
    SKIP_WITHOUT_AVX2();
    std::mt19937_64 rng(5);
    for (t_int n : {1, 7, 64, 1024}) {
        for (int k = 0; k < 200; k++) {
            std::vector<t_sample> in = random_block(rng, static_cast<std::size_t>(n)), a(in.size()), b(in.size()),
                                  c(in.size()), d(in.size());
            t_int wa[] = {0, reinterpret_cast<t_int>(in.data()), reinterpret_cast<t_int>(a.data()), n};
            t_int wb[] = {0, reinterpret_cast<t_int>(in.data()), reinterpret_cast<t_int>(b.data()), n};
            both<sgnTilde_perform>(wa, wb);
            ASSERT_TRUE(same(a, b));
            t_int ra[] = {0, reinterpret_cast<t_int>(in.data()), reinterpret_cast<t_int>(a.data()),
                          reinterpret_cast<t_int>(c.data()), n};
            t_int rb[] = {0, reinterpret_cast<t_int>(in.data()), reinterpret_cast<t_int>(b.data()),
                          reinterpret_cast<t_int>(d.data()), n};
            both<rectify_perform>(ra, rb);
            ASSERT_TRUE(same(a, b) && same(c, d));
        }
    }
}

TEST(Variants, BlockmeanSums) {
    SKIP_WITHOUT_AVX2();
    // random blocks (most of them exact, some with a wide span or NaN) and
    // blocks of audio-like numbers, which take the side-by-side sum
    for (t_int n : {1, 8, 64, 1024, 4096}) {
        std::mt19937_64 rng(6 + n);
        for (int k = 0; k < 300; k++) {
            std::vector<t_sample> in = random_block(rng, static_cast<std::size_t>(n));
            if (k % 2)
                for (auto &v : in)
                    v = static_cast<t_sample>(std::uniform_real_distribution<double>(-1, 1)(rng));
            t_blockmean a{}, b{};
            a.buf = b.buf = static_cast<t_sample>(k % 3 ? 0.25 : 1e-3);
            t_int wa[] = {0, reinterpret_cast<t_int>(in.data()), reinterpret_cast<t_int>(&a), n};
            t_int wb[] = {0, reinterpret_cast<t_int>(in.data()), reinterpret_cast<t_int>(&b), n};
            both<blockmean_perform>(wa, wb);
            ASSERT_EQ(tessel::bits(a.buf), tessel::bits(b.buf)) << "block size " << n << " case " << k;
        }
    }
}

TEST(Variants, CrosspitchHalfturnRetroAndDelays) {
    SKIP_WITHOUT_AVX2();
    for (t_int n : {1, 8, 64, 512}) {
        t_crosspitch ca{}, cb{};
        ca.sr = cb.sr = 44100;
        ca.gap = cb.gap = 1;
        compare_blocks<crosspitch_perform>(ca, cb, in_out_n_obj, 7 + n, 300, n);
        t_halfturn ha{}, hb{};
        ha.doit = hb.doit = 1;
        compare_blocks<halfturn_perform>(ha, hb, obj_in_out_n, 8 + n, 100, n);
        t_retro ra{}, rb{};
        ra.doit = rb.doit = 1;
        compare_blocks<retro_perform>(ra, rb, obj_in_out_n, 9 + n, 100, n);
        // delays of 1, 3 (one by one), 40 (moved as a whole) and 1000 (in runs)
        for (std::int32_t d : {1, 3, 40, 1000}) {
            std::vector<t_sample> la(static_cast<std::size_t>(d) + 1), lb(la.size());
            t_zNdelay za{}, zb{};
            za.buf = la.data(), zb.buf = lb.data();
            za.bufsize = zb.bufsize = d + 1;
            compare_blocks<zN_perform>(za, zb, in_out_obj_n, 10 + n + d, 50, n);
            ASSERT_TRUE(same(la, lb));
        }
    }
}

// crosspitch~'s running count, worked a binade at a time in integers, against
// one double addition after another, on every target (no wider routine
// needed): fractions as a crossing leaves them, counts of long silences,
// counts that cross many binades, and counts past 2^51, 2^52 and 2^53 (where
// the integer form hands over, and where a count stops moving by 1).
TEST(Crosspitch, CountIsOneAdditionAfterAnother) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int i = 0; i < 200000; i++) {
        double c;
        switch (i % 5) {
        case 0: c = unit(rng); break;                                           // the fraction after a crossing
        case 1: c = static_cast<float>(unit(rng) * 3); break;                   // a count kept as a float
        case 2: c = __builtin_ldexp(0.5 + unit(rng) / 2, static_cast<int>(rng() % 62)); break;  // up to 2^61
        case 3: c = static_cast<double>(rng() % 5000) + 0.5; break;             // a tie on the way
        default:  // just below a power of two: the first rounding carries into the integer part
            c = __builtin_nextafter(__builtin_ldexp(1.0, static_cast<int>(rng() % 50) + 1), 0.0);
            break;
        }
        auto d = static_cast<t_int>(rng() % (i % 16 == 0 ? 70000 : 600));
        double want = c;
        for (t_int k = 0; k < d; k++)
            want += 1;
        ASSERT_EQ(crosspitch_count(c, d), want) << "c = " << c << ", d = " << d;
    }
    // counts that step over 2^51 .. 2^54 by a few samples, or stand still:
    // from 2^53 on a count moves only where a tie rounds it to even
    for (int e = 51; e <= 54; e++) {
        double top = __builtin_ldexp(1.0, e);
        for (double below : {0.25, 0.5, 1.0, 1.5, 2.0, 3.0, 4.0, 6.0})
            for (double c : {top - below, top + below, top + 2 * below})
                for (t_int d : {0, 1, 2, 3, 5, 100}) {
                    double want = c;
                    for (t_int k = 0; k < d; k++)
                        want += 1;
                    ASSERT_EQ(crosspitch_count(c, d), want) << "c = " << c << ", d = " << d;
                }
    }
}

// halfturn~'s odd blocks, which the host never makes longer than one sample
// (its block sizes are powers of two): the later part, one sample longer,
// comes first, into a buffer of its own and in place.
TEST(Halfturn, OddBlocksPutTheLongerLaterPartFirst) {
    for (std::size_t size : {1, 3, 5, 63}) {
        std::vector<t_sample> in(size), out(size), want;
        auto n = static_cast<t_int>(size);
        for (t_int i = 0; i < n; i++)
            in[static_cast<std::size_t>(i)] = static_cast<t_sample>(i);
        for (t_int i = n / 2; i < n; i++)
            want.push_back(static_cast<t_sample>(i));
        for (t_int i = 0; i < n / 2; i++)
            want.push_back(static_cast<t_sample>(i));
        t_halfturn x{};
        x.doit = 1;
        // called as the host calls it, through the routine's word list
        t_int w[] = {0, reinterpret_cast<t_int>(&x), reinterpret_cast<t_int>(in.data()),
                     reinterpret_cast<t_int>(out.data()), n};
        vesk::routine<decltype(&halfturn_perform)>::perform<halfturn_perform>(w);
        EXPECT_EQ(out, want) << "block of " << n;
        w[3] = w[2];
        vesk::routine<decltype(&halfturn_perform)>::perform<halfturn_perform>(w);
        EXPECT_EQ(in, want) << "block of " << n << ", in place";
    }
}
