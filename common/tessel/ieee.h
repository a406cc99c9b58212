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
// host has the processor treat them as zero in arithmetic.
template <class F>
constexpr F sign(F x) noexcept {
    using U = typename ieee<F>::uint;
    U b = bits(x);
    U mag = b & ~ieee<F>::sign;
    U number = (mag - 1u) < ieee<F>::inf;  // neither zero nor NaN
    U one = ieee<F>::one | (b & ieee<F>::sign);
    return from_bits<F>(one & (U(0) - number));
}

}  // namespace tessel
