// Host-free tests of the exact products (tessel/exact.h) and the sign rule
// (tessel/ieee.h), for both float sizes, against references worked out with
// integers only: a significand times an integer, rounded to the nearest
// number of the target's grid (ties to even), or truncated toward zero.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include "tessel/exact.h"

using tessel::bits;
using tessel::from_bits;

// A 128-bit unsigned integer from two 64-bit halves, with just what the
// references need; written out so that the references are the same on every
// target (32-bit arm has no 128-bit integer type).
struct u128 {
    uint64_t hi = 0, lo = 0;
    constexpr u128() = default;
    constexpr u128(uint64_t v) : lo(v) {}
    constexpr u128(uint64_t h, uint64_t l) : hi(h), lo(l) {}
    explicit operator bool() const { return hi || lo; }
    explicit operator uint64_t() const { return lo; }
    friend bool operator==(u128 a, u128 b) { return a.hi == b.hi && a.lo == b.lo; }
    friend bool operator!=(u128 a, u128 b) { return !(a == b); }
    friend bool operator<(u128 a, u128 b) { return a.hi != b.hi ? a.hi < b.hi : a.lo < b.lo; }
    friend bool operator>(u128 a, u128 b) { return b < a; }
    friend bool operator>=(u128 a, u128 b) { return !(a < b); }
    friend u128 operator&(u128 a, u128 b) { return {a.hi & b.hi, a.lo & b.lo}; }
    friend u128 operator+(u128 a, u128 b) { return {a.hi + b.hi + (a.lo + b.lo < a.lo), a.lo + b.lo}; }
    friend u128 operator-(u128 a, u128 b) { return {a.hi - b.hi - (a.lo < b.lo), a.lo - b.lo}; }
    friend u128 operator<<(u128 a, int n) {
        if (n == 0) return a;
        if (n >= 128) return {};
        if (n >= 64) return {a.lo << (n - 64), 0};
        return {(a.hi << n) | (a.lo >> (64 - n)), a.lo << n};
    }
    friend u128 operator>>(u128 a, int n) {
        if (n == 0) return a;
        if (n >= 128) return {};
        if (n >= 64) return {0, a.hi >> (n - 64)};
        return {a.hi >> n, (a.lo >> n) | (a.hi << (64 - n))};
    }
    u128 &operator>>=(int n) { return *this = *this >> n; }
    u128 &operator++() { return *this = *this + u128(1); }
    // the full product of two 64-bit numbers, in 32-bit pieces
    static u128 mul(uint64_t a, uint64_t b) {
        uint64_t a0 = a & 0xffffffffu, a1 = a >> 32, b0 = b & 0xffffffffu, b1 = b >> 32;
        u128 r(a1 * b1, a0 * b0);
        return r + (u128(a1 * b0) << 32) + (u128(a0 * b1) << 32);
    }
};

// The number m * 2^e (m >= 0) rounded once to F, ties to even.
template <class F>
static F round_to(u128 m, int e, bool neg) {
    using B = tessel::ieee<F>;
    if (m == 0)
        return neg ? -F(0) : F(0);
    int n = 0;
    for (u128 t = m; t; t >>= 1)
        n++;
    int lsb = e + n - (B::mant + 1);  // exponent of the last kept bit
    if (lsb < B::emin)
        lsb = B::emin;
    if (lsb > e) {
        int shift = lsb - e;
        u128 q = m >> shift, r = m & ((u128(1) << shift) - 1), half = u128(1) << (shift - 1);
        if (r > half || (r == half && (uint64_t(q) & 1)))
            ++q;
        m = q;
        e = lsb;
    }
    // m now fits the significand (maybe carried to one more bit, still exact)
    long double v = std::ldexp(static_cast<long double>(static_cast<uint64_t>(m)), e);
    F out = static_cast<F>(v);
    return neg ? -out : out;
}

// The significand and exponent of a finite x: |x| = m * 2^e.
template <class F>
static void split(F x, uint64_t &m, int &e) {
    using B = tessel::ieee<F>;
    auto b = bits(x) & ~B::sign;
    int field = static_cast<int>(b >> B::mant);
    m = static_cast<uint64_t>(b & B::frac);
    if (field)
        m |= uint64_t(1) << B::mant;
    e = (field ? field : 1) + B::emin - 1;
}

// k * dq rounded once, from the integers.
template <class F>
static F reference_product(int32_t k, F dq) {
    uint64_t m;
    int e;
    split(dq, m, e);
    uint64_t ak = k < 0 ? uint64_t(-int64_t(k)) : uint64_t(k);
    bool neg = (k < 0) != std::signbit(dq);
    F r = round_to<F>(u128::mul(ak, m), e, neg);
    return r == 0 ? F(0) : r;  // a zero product is +0
}

template <class F>
static F product(int32_t k, const tessel::step<F> &s) {
    switch (s.kind) {
    case tessel::product_kind::wide: return tessel::product_wide(k, s);
    case tessel::product_kind::split: return tessel::product_split(k, s);
    default: return tessel::product_tiny(k, s);
    }
}

template <class F>
static void check_products(uint64_t seed, int count) {
    using B = tessel::ieee<F>;
    std::mt19937_64 rng(seed);
    int kinds[3] = {0, 0, 0};
    for (int i = 0; i < count; i++) {
        // steps of every binade, subnormal ones included, and k of every size
        typename B::uint b = static_cast<typename B::uint>(rng()) & ~B::sign;
        if (i % 4 == 0)
            b &= B::frac;  // subnormal
        if ((b & B::inf) == B::inf)
            continue;
        if (i % 3 == 0)
            b &= ~typename B::uint(3);  // two low bits clear
        if (i % 2)
            b |= B::sign;
        F dq = from_bits<F>(b);
        int bitsk = static_cast<int>(rng() % 32);
        auto k = static_cast<int32_t>(static_cast<uint32_t>(rng()) >> (31 - bitsk));
        if (rng() & 1)
            k = k == INT32_MIN ? k : -k;
        if (i % 97 == 0)
            k = (i & 1) ? INT32_MIN : INT32_MAX;
        tessel::step<F> s = tessel::make_step(dq);
        kinds[static_cast<int>(s.kind)]++;
        F got = product(k, s), want = reference_product(k, dq);
        ASSERT_EQ(bits(got), bits(want)) << "k " << k << " dq bits " << std::hex << uint64_t(b) << " got "
                                         << got << " want " << want;
    }
    // every kind the precision has was met
    EXPECT_GT(kinds[0], 0);
    EXPECT_EQ(kinds[1] > 0, sizeof(F) == 4);
    EXPECT_GT(kinds[2], 0);
}

TEST(ExactProduct, FloatStepsRoundOnce) {
    check_products<float>(1, 2000000);
}

TEST(ExactProduct, DoubleStepsRoundOnce) {
    check_products<double>(2, 2000000);
}

// k * dq of 54 and 55 bits lying within a few units of the last place of a
// double around a float tie (the case rounding to odd is there for), on
// either side and with either parity of the float below, for odd
// significands (split steps) of many sizes and both signs. k solves
// k * m = u / 2 + j modulo the float's unit u at that size.
TEST(ExactProduct, FloatProductsBesideATie) {
    std::mt19937_64 rng(9);
    int met = 0;
    for (int i = 0; i < 400; i++) {
        uint64_t m = (rng() & 0x7fffffu) | 0x800001u;  // 24 bits, odd
        uint64_t inv = m;  // m^-1 modulo 2^64 (Newton's steps; m is odd)
        for (int n = 0; n < 6; n++)
            inv *= 2 - m * inv;
        for (int s : {30, 31}) {
            const uint64_t mask = (uint64_t(1) << s) - 1;
            for (int64_t j = -9; j <= 9; j++) {
                for (uint64_t hi = 0; hi < 2; hi++) {
                    uint64_t k = (((uint64_t(1) << (s - 1)) + uint64_t(j)) * inv & mask) + (hi << s);
                    if (k >= (uint64_t(1) << 31) || k * m < (uint64_t(1) << (s + 23)))
                        continue;  // k out of range, or the product shorter than 24 + s bits
                    for (int sign : {1, -1}) {
                        float dq = std::ldexp(static_cast<float>(m) * static_cast<float>(sign), -24 - int(rng() % 40));
                        auto st = tessel::make_step(dq);
                        ASSERT_EQ(st.kind, tessel::product_kind::split);
                        int32_t kk = static_cast<int32_t>(k) * ((i & 1) ? -1 : 1);
                        ASSERT_EQ(bits(product(kk, st)), bits(reference_product(kk, dq))) << kk << " " << m;
                        met++;
                    }
                }
            }
        }
    }
    EXPECT_GT(met, 5000);
}

TEST(ExactProduct, KnownFloatCases) {
    // a double rounding would give 890522.125 and 415894.875 here
    float dq1 = 1 / 1492.8851318359375f, dq2 = 1 / 3162.313720703125f;
    auto s1 = tessel::make_step(dq1), s2 = tessel::make_step(dq2);
    EXPECT_EQ(product(tessel::trunc_product(890522.125f, tessel::make_factor(1492.8851318359375f)), s1),
              890522.1875f);
    EXPECT_EQ(product(tessel::trunc_product(415894.875f, tessel::make_factor(3162.313720703125f)), s2),
              415894.84375f);
    // a step with its last bit set times a 31-bit k: the product has 55 bits,
    // and formed in one double it would round twice (to a tie, then to even)
    float dq3 = std::ldexp(16777213.0f, -24);
    auto s3 = tessel::make_step(dq3);
    EXPECT_EQ(s3.kind, tessel::product_kind::split);
    EXPECT_NE(static_cast<float>(1549096277.0 * dq3), reference_product(1549096277, dq3));
    EXPECT_EQ(bits(product(1549096277, s3)), bits(reference_product(1549096277, dq3)));
    // zero steps are +0 whatever the signs
    EXPECT_EQ(bits(product(0, tessel::make_step(-0.25f))), 0u);
    EXPECT_EQ(bits(product(0, tessel::make_step(from_bits<float>(0x80000005u)))), 0u);
    EXPECT_EQ(bits(product(0, tessel::make_step(-0.25))), 0u);
}

TEST(ExactProduct, SubnormalProductsAtTheLastSubnormal) {
    // |k| * m just below and at 2^mant: the largest subnormal, then the
    // smallest normal number, of either float size and sign (random steps
    // rarely land on the integer just below)
    const uint32_t fm = (1u << 23) - 1;
    const uint64_t dm = (uint64_t(1) << 52) - 1;
    EXPECT_EQ(bits(product(1, tessel::make_step(from_bits<float>(fm)))), fm);
    EXPECT_EQ(bits(product(-47, tessel::make_step(from_bits<float>(fm / 47)))), fm | 0x80000000u);  // 47 * 178481
    EXPECT_EQ(bits(product(2, tessel::make_step(from_bits<float>(1u << 22)))), 1u << 23);
    EXPECT_EQ(bits(product(1, tessel::make_step(from_bits<double>(dm)))), dm);
    EXPECT_EQ(bits(product(-3, tessel::make_step(from_bits<double>(dm / 3)))), dm | (uint64_t(1) << 63));
    EXPECT_EQ(bits(product(2, tessel::make_step(from_bits<double>(uint64_t(1) << 51)))), uint64_t(1) << 52);
}

// trunc(x * q) from the integers, saturating at the 32-bit range; NaN 0.
template <class F>
static int32_t reference_trunc(F x, F q) {
    if (std::isnan(x) || std::isnan(q))
        return 0;
    bool neg = std::signbit(x) != std::signbit(q);
    if (std::isinf(x) || std::isinf(q))
        return (x == 0 || q == 0) ? 0 : neg ? INT32_MIN : INT32_MAX;
    uint64_t mx, mq;
    int ex, eq;
    split(x, mx, ex);
    split(q, mq, eq);
    u128 m = u128::mul(mx, mq);
    int e = ex + eq;
    if (m == 0)
        return 0;
    // the integer part of m * 2^e, or "beyond 2^31"
    u128 t;
    if (e >= 0) {
        if (e > 40 || (m << e) >> e != m)
            return neg ? INT32_MIN : INT32_MAX;
        t = m << e;
    } else {
        t = -e >= 128 ? 0 : m >> -e;
    }
    if (t >= (u128(1) << 31))
        return neg ? INT32_MIN : INT32_MAX;
    auto v = static_cast<uint32_t>(static_cast<uint64_t>(t));
    return neg ? -static_cast<int32_t>(v) : static_cast<int32_t>(v);
}

template <class F>
static void check_truncs(uint64_t seed, int count) {
    using B = tessel::ieee<F>;
    std::mt19937_64 rng(seed);
    for (int i = 0; i < count; i++) {
        // q of moderate size and x near multiples of 1 / q, so that the
        // product lies near an integer on either side; now and then any bits
        F q = static_cast<F>(std::ldexp(static_cast<double>(rng() % 100000 + 1) / 7.0, int(rng() % 40) - 20));
        if (rng() & 1)
            q = -q;
        double target = static_cast<double>(static_cast<int64_t>(rng() % 8000000000ull) - 4000000000ll);
        F x = static_cast<F>(target / static_cast<double>(q));
        for (int step = int(rng() % 5); step > 0; step--)
            x = std::nextafter(x, (rng() & 1) ? F(1e30) : F(-1e30));
        if (i % 50 == 0)
            x = from_bits<F>(static_cast<typename B::uint>(rng()));
        tessel::factor<F> f = tessel::make_factor(q);
        ASSERT_EQ(tessel::trunc_product(x, f), reference_trunc(x, q))
            << "x " << x << " q " << q << " bits " << std::hex << uint64_t(bits(x)) << " " << uint64_t(bits(q));
    }
}

TEST(ExactTrunc, FloatProducts) {
    check_truncs<float>(3, 2000000);
}

TEST(ExactTrunc, FloatSaturationStartsAtTheSmallestMagnitude) {
    // top is the smallest magnitude whose product with |q| reaches 2^31, for
    // q of every size, the largest and smallest normal ones among them
    std::mt19937_64 rng(5);
    for (int i = 0; i < 1000000; i++) {
        auto qb = static_cast<uint32_t>(rng() % 0x7f000000u) + 0x00800000u;
        if (i < 2)
            qb = i ? 0x00800000u : 0x7f7fffffu;
        double aq = from_bits<float>(qb);
        uint32_t top = tessel::make_factor(from_bits<float>(qb | (uint32_t(i & 1) << 31))).top;
        ASSERT_GE(static_cast<double>(from_bits<float>(top)) * aq, 2147483648.0) << std::hex << qb;
        ASSERT_LT(static_cast<double>(from_bits<float>(top - 1)) * aq, 2147483648.0) << std::hex << qb;
    }
}

// Either side of where saturation starts, for q at every power of two and
// the floats beside it (where x * q can be 2^31 exactly), both signs; and
// NaN of the smallest and largest payloads, which must give 0, not a limit.
TEST(ExactTrunc, FloatProductsAtTheSaturationEdge) {
    for (uint32_t e = 1; e < 255; e++) {
        for (uint32_t qb : {(e << 23) - 1, e << 23, (e << 23) + 1}) {
            if ((qb >> 23) == 0 || (qb >> 23) == 255)
                continue;
            for (uint32_t qs : {0u, 0x80000000u}) {
                float q = from_bits<float>(qb | qs);
                tessel::factor<float> f = tessel::make_factor(q);
                ASSERT_GE(static_cast<double>(from_bits<float>(f.top)) * from_bits<float>(qb), 2147483648.0) << qb;
                ASSERT_LT(static_cast<double>(from_bits<float>(f.top - 1)) * from_bits<float>(qb), 2147483648.0) << qb;
                for (uint32_t xb : {f.top - 1, f.top, f.top + 1})
                    for (uint32_t xs : {0u, 0x80000000u}) {
                        float x = from_bits<float>(xb | xs);
                        if (std::isfinite(x))
                            ASSERT_EQ(tessel::trunc_product(x, f), reference_trunc(x, q)) << std::hex << (xb | xs) << " " << (qb | qs);
                    }
                for (uint32_t nan : {0x7f800001u, 0x7fc00000u, 0x7fffffffu, 0xff800001u, 0xffffffffu})
                    ASSERT_EQ(tessel::trunc_product(from_bits<float>(nan), f), 0) << std::hex << nan << " " << (qb | qs);
            }
        }
    }
}

TEST(ExactTrunc, DoubleProducts) {
    check_truncs<double>(4, 2000000);
}

TEST(ExactTrunc, DoubleProductsJustInsideAnInteger) {
    // 1/3 rounded down: 3 times it is 1 - 2^-54 exactly, which rounds to 1,
    // but truncates to 0; the same with either sign turned
    auto three = tessel::make_factor(3.0), minus_three = tessel::make_factor(-3.0);
    double third = 1.0 / 3.0;
    EXPECT_EQ(third * 3.0, 1.0);
    EXPECT_EQ(tessel::trunc_product(third, three), 0);
    EXPECT_EQ(tessel::trunc_product(-third, three), 0);
    EXPECT_EQ(tessel::trunc_product(third, minus_three), 0);
    EXPECT_EQ(tessel::trunc_product(std::nextafter(third, 1.0), three), 1);
    EXPECT_EQ(tessel::trunc_product(std::nextafter(third, 1.0), minus_three), -1);
    // saturation, infinities and NaN
    auto one = tessel::make_factor(1.0);
    EXPECT_EQ(tessel::trunc_product(2147483647.9, one), INT32_MAX);
    // read at run time: the compiler folds a constant cast out of range to
    // the limit, where the processor would give another value
    volatile double edge[] = {2147483646.5, 2147483648.0, -2147483649.0};
    EXPECT_EQ(tessel::trunc_product(edge[0], one), 2147483646);
    EXPECT_EQ(tessel::trunc_product(edge[1], one), INT32_MAX);
    EXPECT_EQ(tessel::trunc_product(edge[2], one), INT32_MIN);
    EXPECT_EQ(tessel::trunc_product(-2147483648.5, one), INT32_MIN);
    EXPECT_EQ(tessel::trunc_product(-2147483647.5, one), -2147483647);
    EXPECT_EQ(tessel::trunc_product(HUGE_VAL, one), INT32_MAX);
    EXPECT_EQ(tessel::trunc_product(-HUGE_VAL, one), INT32_MIN);
    EXPECT_EQ(tessel::trunc_product(std::nan(""), one), 0);
}

template <class F>
static F reference_sign(F x) {
    using B = tessel::ieee<F>;
    auto b = bits(x);
    auto mag = b & ~B::sign;
    if (mag == 0 || mag > B::inf)
        return F(0);
    return (b & B::sign) ? F(-1) : F(1);
}

template <class F>
static void check_signs(uint64_t seed, int count = 1000000) {
    using B = tessel::ieee<F>;
    std::mt19937_64 rng(seed);
    const typename B::uint special[] = {0, 1, B::frac, B::frac + 1, B::one, B::inf, B::inf + 1, ~B::sign};
    for (auto s : special)
        for (auto sg : {typename B::uint(0), B::sign}) {
            F x = from_bits<F>(s | sg);
            EXPECT_EQ(bits(tessel::sign(x)), bits(reference_sign(x))) << std::hex << uint64_t(s | sg);
        }
    for (int i = 0; i < count; i++) {
        auto b = static_cast<typename B::uint>(rng());
        if (i % 3 == 0)
            b &= B::frac | B::sign;  // zeros and subnormals
        F x = from_bits<F>(b);
        ASSERT_EQ(bits(tessel::sign(x)), bits(reference_sign(x))) << std::hex << uint64_t(b);
    }
}

TEST(Sign, FromTheBitsInBothPrecisions) {
    check_signs<float>(5);
    check_signs<double>(6);
}

// The host has the processor read subnormal numbers as zero (x86's DAZ and
// FTZ bits, arm's FZ bit) while DSP runs: sign() must give them their sign
// all the same. Set here for the length of one test; where the processor
// has no such switch the test says so and is skipped.
struct FlushSubnormals {
    bool on = false;
#if defined(__SSE__) || defined(__x86_64__)
    unsigned saved = _mm_getcsr();
    FlushSubnormals() : on(true) { _mm_setcsr(saved | 0x8040u); }
    ~FlushSubnormals() { _mm_setcsr(saved); }
#elif defined(__aarch64__)
    uint64_t saved = 0;
    FlushSubnormals() : on(true) {
        __asm__ volatile("mrs %0, fpcr" : "=r"(saved));
        __asm__ volatile("msr fpcr, %0" : : "r"(saved | (uint64_t{1} << 24)));
    }
    ~FlushSubnormals() { __asm__ volatile("msr fpcr, %0" : : "r"(saved)); }
#elif defined(__arm__) && defined(__ARM_FP)
    uint32_t saved = 0;
    FlushSubnormals() : on(true) {
        __asm__ volatile("vmrs %0, fpscr" : "=r"(saved));
        __asm__ volatile("vmsr fpscr, %0" : : "r"(saved | (uint32_t{1} << 24)));
    }
    ~FlushSubnormals() { __asm__ volatile("vmsr fpscr, %0" : : "r"(saved)); }
#endif
};

TEST(Sign, SubnormalsWhileTheProcessorReadsThemAsZero) {
    FlushSubnormals flush;
    if (!flush.on)
        GTEST_SKIP() << "this processor has no switch to read subnormal numbers as zero";
    volatile double tiny = 4.9e-324;  // read at run time, under the switch
    if (tiny > 0)
        GTEST_SKIP() << "the switch to read subnormal numbers as zero did not take here";
    check_signs<float>(7, 200000);
    check_signs<double>(8, 200000);
}
