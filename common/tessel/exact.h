// Exact products for quantizing: k = trunc(x * q), the exact product of a
// sample and a number of steps truncated toward zero into 32 bits, and
// k * dq, the exact product of that integer and the step size rounded once to
// the host's precision. What each needs differs between single and double
// precision; both are written here once for each, and every routine is a
// plain per-sample function without branches on the data, so that loops
// around it are vectorised.
#pragma once

#include <cstdint>

#include "tessel/ieee.h"

namespace tessel {

// --- k = trunc(x * q), saturating at -2^31 and 2^31 - 1; NaN gives 0 ---------

// What the truncation of x * q needs of q, worked out once when q is set.
template <class F>
struct factor;

// Single precision: x * q is exact in double (24 + 24 significant bits).
// Samples whose magnitude reaches `top` saturate; they and NaN are replaced
// by 0 before the conversion, which then always fits.
template <>
struct factor<float> {
    double qd;          // q
    std::uint32_t top;  // the smallest magnitude (as bits) whose product with |q| reaches 2^31
    std::uint32_t qneg; // sign bit of q
};

inline factor<float> make_factor(float q) {
    factor<float> f;
    f.qd = q;
    f.qneg = bits(q) >> 31;
    double aq = static_cast<double>(abs(q));
    constexpr double limit = 2147483648.0;
    // the quotient rounded to a float is one of the two floats around the
    // exact one (or +inf past the largest), so the float below it gives a
    // product under 2^31 (products of two floats are exact in double): the
    // answer is this float or lies above it
    float t = static_cast<float>(limit / aq);
    std::uint32_t b = bits(t);
    while (b < 0x7f800000u && static_cast<double>(from_bits<float>(b)) * aq < limit)
        b++;
    f.top = b;
    return f;
}

// Wide: the routine is compiled for a processor with AVX2 and FMA, where the
// truncation of a double is one instruction that loops vectorise; a
// processor with SSE2 alone does it through a 32-bit integer.
template <bool Wide = false>
inline std::int32_t trunc_product(float x, const factor<float> &f) {
    std::uint32_t b = bits(x);
    std::uint32_t mag = b & 0x7fffffffu;
    std::uint32_t nan = mag > 0x7f800000u;
    std::uint32_t sat = (mag >= f.top) & (nan ^ 1u);
    float v = from_bits<float>(b & ((nan | sat) - 1u));
    auto k = static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<double>(v) * f.qd));
    std::uint32_t ks = 0x7fffffffu + ((b >> 31) ^ f.qneg);  // 2^31 - 1, or -2^31 for a negative product
    return static_cast<std::int32_t>((k & (sat - 1u)) | (ks & (0u - sat)));
}

// Double precision: x * q rounded to a double, p, truncates to the exact
// product's truncation except where p is itself an integer reached from the
// side of zero (the exact product lies just inside it); the fused
// multiply-add's remainder x * q - p tells that case. Rounding cannot carry
// a product past an integer other than onto it, since every integer of the
// range is a double.
template <>
struct factor<double> {
    double q;
};

inline factor<double> make_factor(double q) {
    return factor<double>{q};
}

template <bool Wide = false>
inline std::int32_t trunc_product(double x, const factor<double> &f) {
    double p = x * f.q;
    double e = __builtin_fma(x, f.q, -p);  // exact: x * q = p + e
    // p clamped to the 32-bit range (NaN to 0) and truncated toward zero
    double c = p < -2147483648.0 ? -2147483648.0 : p;
    c = c > 2147483647.0 ? 2147483647.0 : c;
    c = c == c ? c : 0.0;
    double t;
    if constexpr (Wide)
        t = __builtin_trunc(c);
    else
        t = static_cast<double>(static_cast<std::int32_t>(c));
    // one step toward zero where p is that integer and e points toward zero
    bool inward = (t == p) & ((e < 0) != (p < 0)) & (e != 0);
    t = inward ? t - (p < 0 ? -1.0 : 1.0) : t;
    return static_cast<std::int32_t>(t);
}

// --- k * dq rounded once ------------------------------------------------------

// How k * dq is formed, chosen once from the step dq:
enum class product_kind : std::int32_t {
    wide,   // exact in a double (at most 53 significant bits), then rounded once
    split,  // more bits than a double holds: two exact halves, rounded to odd
    tiny,   // dq subnormal: read from its bits, as the host's arithmetic would read it as 0
};

template <class F>
struct step {
    double dqd;               // dq, exactly
    std::uint64_t dqm;        // tiny: the significand field of dq
    std::uint32_t dqneg;      // tiny: sign bit of dq
    product_kind kind;
};

template <class F>
inline step<F> make_step(F dq) {
    step<F> s{};
    s.dqneg = static_cast<std::uint32_t>(bits(dq) >> (sizeof(F) * 8 - 1));
    s.dqm = bits(dq) & ((typename ieee<F>::uint(1) << ieee<F>::mant) - 1);
    if (exponent_field(dq) == 0) {
        s.kind = product_kind::tiny;
        return s;
    }
    s.dqd = static_cast<double>(dq);
    // A float's 24-bit significand with its two low bits clear times a 31-bit
    // k fits a double; a double step always does (the product is rounded
    // once, in double precision, by the multiplication itself).
    s.kind = sizeof(F) == 8 || (s.dqm & 3u) == 0 ? product_kind::wide : product_kind::split;
    return s;
}

// wide: one rounding to double (exact for float steps of this kind), one to F.
template <class F>
inline F product_wide(std::int32_t k, const step<F> &s) {
    return static_cast<F>(static_cast<double>(k) * s.dqd + 0.0);
}

// k * d rounded once to float, for a double d whose products with the 16-bit
// halves of k are exact (a float step; an integer below 2^23). k = kh + kl
// with kl its low 16 bits; kh * d and kl * d are each exact in double, their
// sum s is rounded once and its error r is exact (|kh * d| >= |kl * d|
// whenever kh is not 0). s is then rounded to odd: where r is not 0, s
// truncated toward zero (one unit down in magnitude where r points toward
// zero) with its last bit set. A double rounded to odd rounds to float
// exactly as the exact sum would, since a double has more than two bits
// beyond a float's. The choices are selections of numbers, so that loops
// around it are vectorised.
inline float mul_round(std::int32_t k, double d) {
    std::int32_t kl = k & 0xffff;
    double h = static_cast<double>(k - kl) * d;
    double l = static_cast<double>(kl) * d;
    double sum = h + l;
    double r = l - (sum - h);
    std::uint64_t sb = bits(sum);
    double oddup = from_bits<double>(sb | 1), odddown = from_bits<double>((sb - 1) | 1);
    double odd = (r < 0) != (sum < 0) ? odddown : oddup;
    return static_cast<float>((r != 0 ? odd : sum) + 0.0);
}

// split (float only): more bits than a double holds.
inline float product_split(std::int32_t k, const step<float> &s) {
    return mul_round(k, s.dqd);
}

// tiny: dq = m * 2^emin with m below 2^mant, so k * dq = |k| * m * 2^emin.
// Below 2^mant that is the subnormal number with the bits |k| * m; above,
// the integer |k| * m rounded once to F, scaled by 2^emin through its
// exponent field (the result is a normal number). The sign is that of k
// times dq; 0 gives +0. Worked from the bits, as the host's arithmetic would
// read a subnormal step as 0.
inline float product_tiny(std::int32_t k, const step<float> &s) {
    float f = abs(mul_round(k, static_cast<double>(s.dqm)));  // |k| * m rounded once
    std::uint32_t b = f < 8388608.0f ? static_cast<std::uint32_t>(f) : bits(f) - (149u << 23);
    std::uint32_t neg = (static_cast<std::uint32_t>(k) >> 31) ^ s.dqneg;
    return from_bits<float>(b | ((neg & (f != 0)) << 31));
}

inline double product_tiny(std::int32_t k, const step<double> &s) {
    double ak = k < 0 ? -static_cast<double>(k) : static_cast<double>(k);
    double a = ak * static_cast<double>(s.dqm);  // rounded once; a normal double
    std::uint64_t b = a < 4503599627370496.0 ? static_cast<std::uint64_t>(a)  // below 2^52: exact
                                             : bits(a) - (std::uint64_t(1074) << 52);
    std::uint64_t neg = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(k) >> 31) ^ s.dqneg);
    return from_bits<double>(b | ((neg & (a != 0)) << 63));
}

// A double step is never split (make_step chooses wide); this keeps the
// routine table the same for both precisions.
inline double product_split(std::int32_t k, const step<double> &s) {
    return product_wide(k, s);
}

}  // namespace tessel
