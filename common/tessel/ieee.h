// The bits of the host's numbers. A host keeps its numbers (t_float) and
// samples (t_sample) in single precision, or in double precision (pd64);
// every rule that reads a number's bits is written once on ieee<F> and holds
// for both.
#pragma once

#include <bit>
#include <cstdint>

namespace tessel {

template <class F>
struct ieee;

template <>
struct ieee<float> {
    using uint = std::uint32_t;
    using sint = std::int32_t;
    static constexpr int mant = 23;       // stored significand bits
    static constexpr int emin = -149;     // exponent of the smallest subnormal
    static constexpr uint sign = 0x80000000u;
    static constexpr uint inf = 0x7f800000u;   // also the exponent field
    static constexpr uint one = 0x3f800000u;
    static constexpr uint frac = 0x007fffffu;  // the significand field
};

template <>
struct ieee<double> {
    using uint = std::uint64_t;
    using sint = std::int64_t;
    static constexpr int mant = 52;
    static constexpr int emin = -1074;
    static constexpr uint sign = 0x8000000000000000u;
    static constexpr uint inf = 0x7ff0000000000000u;
    static constexpr uint one = 0x3ff0000000000000u;
    static constexpr uint frac = 0x000fffffffffffffu;
};

template <class F>
constexpr typename ieee<F>::uint bits(F x) noexcept {
    return std::bit_cast<typename ieee<F>::uint>(x);
}

// The same bits as a signed integer: a magnitude (sign bit cleared) then
// compares as a signed number, which vector units do in fewer steps.
template <class F>
constexpr typename ieee<F>::sint sbits(F x) noexcept {
    return std::bit_cast<typename ieee<F>::sint>(x);
}

template <class F>
constexpr F from_bits(typename ieee<F>::uint b) noexcept {
    return std::bit_cast<F>(b);
}

// The exponent field: 0 for zeros and subnormal numbers, all ones for
// infinities and NaN. From the bits, so that it does not depend on whether
// the processor treats subnormal numbers as zero at the time.
template <class F>
constexpr typename ieee<F>::uint exponent_field(F x) noexcept {
    return (bits(x) & ieee<F>::inf) >> ieee<F>::mant;
}

template <class F>
constexpr bool is_nan(F x) noexcept {
    return (bits(x) & ~ieee<F>::sign) > ieee<F>::inf;
}

// |x|: the sign bit cleared (of a NaN too).
template <class F>
constexpr F abs(F x) noexcept {
    return from_bits<F>(bits(x) & ~ieee<F>::sign);
}

// The sign of x: 1 above 0, -1 below, +0 for both zeros and every NaN. Read
// from the bits, so that subnormal numbers keep their sign even while the
// host has the processor treat them as zero in arithmetic. In single
// precision the bits are worked as integers, which every vector unit does
// (NEON on 32-bit arm does no IEEE float arithmetic). In double precision
// x's comparisons with 0 give the sign of every number but the subnormal
// ones, which are told by an exponent field of 0 (the field alone, as a
// number, compares equal to 0) and a significand that is not 0 (put under
// the exponent of 1, it compares above 1): number comparisons, because a
// vector unit without 64-bit integer comparisons (SSE2) still has them.
// Every choice is a selection, so that loops around it are vectorised.
constexpr float sign(float x) noexcept {
    std::uint32_t b = bits(x);
    std::uint32_t mag = b & 0x7fffffffu;
    std::uint32_t number = (mag - 1u) < 0x7f800000u;  // neither zero nor NaN
    std::uint32_t one = 0x3f800000u | (b & 0x80000000u);
    return from_bits<float>(one & (0u - number));
}

constexpr double sign(double x) noexcept {
    using B = ieee<double>;
    auto b = bits(x);
    double field = from_bits<double>(b & B::inf);
    double frac = from_bits<double>((b & B::frac) | B::one);  // 1.significand
    double one = from_bits<double>(B::one | (b & B::sign));   // 1 with x's sign
    bool nonzero = (x > 0) | (x < 0) | ((field == 0) & (frac > 1));
    return nonzero ? one : 0.0;
}

}  // namespace tessel
