// Defined float-to-integer conversions shared by every module.
//
// C++ leaves a cast from a floating value to an integer undefined when the
// truncated value does not fit the integer type (and for NaN). Every
// conversion in the library goes through these helpers instead: they
// truncate toward zero, saturate at the type's limits and give NaN a
// caller-chosen result.
#pragma once

#include <cstdint>
#include <limits>
#include <type_traits>

namespace tessel {

// Truncates x toward zero into the signed integer type T. Values at or beyond
// the type's range give its nearest limit (+inf the largest, -inf the
// smallest value); NaN gives if_nan.
template <class T>
constexpr T trunc_sat(double x, T if_nan = 0) noexcept {
    static_assert(std::is_integral_v<T> && std::is_signed_v<T>, "signed integer type expected");
    // -min is 2^(bits-1), exactly representable as a double for every width.
    constexpr double top = -static_cast<double>(std::numeric_limits<T>::min());
    if (x != x)
        return if_nan;
    if (x >= top)
        return std::numeric_limits<T>::max();
    if (x < -top)
        return std::numeric_limits<T>::min();
    return static_cast<T>(x);
}

// The same for a 32-bit result, written so that a loop over samples can be
// vectorised: clamp first (NaN survives the clamp), then a cast that is in
// range for every number.
constexpr std::int32_t trunc_i32(double x, std::int32_t if_nan = 0) noexcept {
    double c = x < -2147483648.0 ? -2147483648.0 : x;
    c = c > 2147483647.0 ? 2147483647.0 : c;
    return c == c ? static_cast<std::int32_t>(c) : if_nan;
}

}  // namespace tessel
