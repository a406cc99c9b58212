// Per-sample kernels whose best form differs between the float sizes, each
// written once per size: the single-precision forms work on the bits as
// 32-bit integers, which every vector unit does (SSE2, NEON on 64-bit and
// 32-bit arm); the double-precision forms compare numbers, because SSE2 has
// no 64-bit integer comparisons. Every choice is a selection, not a branch,
// so that the loops around them are vectorised. A result formed from a float
// that went through an integer and back has 0 added last, so that a zero
// comes out +0 even where the compiler turns the round trip into a
// truncation, which keeps the sign of -0.5's zero (adding 0 to the round
// trip itself would be folded away before that).
#pragma once

#include <cstdint>

#include "tessel/ieee.h"
#include "vesk.h"

namespace vesk {

// swap~: x * 32768 truncated toward zero to 16 bits, saturating at -32768
// and 32767 (1.0 and above give 0x7fff; NaN gives 0), bytes exchanged, read
// back as a signed 16-bit value and scaled by 2^-15. Samples that saturate
// (magnitude 1 or more) or are NaN are replaced by 0 before the conversion,
// which then always fits. The exchanged value is the low byte,
// sign-extended, times 256 plus the high byte.
inline std::int32_t swap_bytes(std::int32_t s) {
    auto u = static_cast<std::uint32_t>(s);
    return (static_cast<std::int32_t>(u << 24) >> 16) | static_cast<std::int32_t>((u >> 8) & 0xffu);
}

inline float swap_sample(float x) {
    auto b = tessel::sbits(x);
    std::int32_t mag = b & 0x7fffffff;                   // compared as signed: fewer steps
    std::int32_t big = 0 - (mag > 0x3f7fffff);           // magnitude 1 or more, or NaN
    std::int32_t sat = big & (0 - (mag <= 0x7f800000));  // ... but not NaN
    float v = tessel::from_bits<float>(static_cast<std::uint32_t>(b & ~big));
    auto s = static_cast<std::int32_t>(v * 32768.0f);    // 0 where big
    std::int32_t ss = 0x7fff + static_cast<std::int32_t>(static_cast<std::uint32_t>(b) >> 31);
    return static_cast<float>(swap_bytes(s | (ss & sat))) * (1.0f / 32768.0f);  // 32767, or 0x8000 below -1
}

inline double swap_sample(double x) {
    double a = tessel::abs(x);
    bool big = !(a < 1);  // magnitude 1 or more, or NaN
    auto s = static_cast<std::int32_t>((big ? 0 : x) * 32768);
    s = big ? (x < 0 ? -32768 : 32767) : s;
    s = a != a ? 0 : s;
    return static_cast<double>(swap_bytes(s)) * (1.0 / 32768.0);
}

// quantize~ with a power of two q and a normal step size dq: x * q is exact
// (or infinite, or below 1 where it leaves the normal range, and truncates to
// 0 then), below 2^31 its truncation toward zero is exact through a 32-bit
// integer, and that times dq is the product rounded once. At 2^31 and beyond
// k saturates at 2^31 - 1 (or -2^31 below); NaN gives 0.
//
// Single precision, from aq = |q| and adq = |dq|: the signs of x * q and of
// dq cancel, and 2^31 - 1 and -2^31 both read +-2^31 once rounded, so k
// saturates at +-2^31 in the sign of x.
template <bool Wide = false>
inline float quantize_pow2_sample(float x, float aq, float adq) {
    auto b = tessel::sbits(x * aq);
    std::int32_t mag = b & 0x7fffffff;
    std::int32_t sat = 0 - (mag > 0x4effffff);   // 2^31 or more, or NaN
    std::int32_t num = 0 - (mag <= 0x7f800000);  // not NaN
    float ts = tessel::from_bits<float>(static_cast<std::uint32_t>(b & ~sat));
    auto fi = tessel::sbits(static_cast<float>(static_cast<std::int32_t>(ts)));
    std::int32_t top = (b & static_cast<std::int32_t>(0x80000000u)) | 0x4f000000;  // +-2^31
    return tessel::from_bits<float>(static_cast<std::uint32_t>(fi | (top & sat & num))) * adq + 0;
}

// Double precision, from q and dq themselves: (2^31 - 1) * dq and 2^31 * dq
// are different numbers here. Wide: for a processor with AVX2, which
// truncates a double in one instruction (the loop is vectorised only that
// way there, and only through a 32-bit integer with SSE2 alone).
template <bool Wide = false>
inline double quantize_pow2_sample(double x, double q, double dq) {
    double p = x * q;
    double c = p < -2147483648.0 ? -2147483648.0 : p;  // clamped to k's range
    c = c > 2147483647.0 ? 2147483647.0 : c;
    c = c == c ? c : 0.0;  // NaN
    double k;
    if constexpr (Wide)
        k = __builtin_trunc(c);
    else
        k = static_cast<double>(static_cast<std::int32_t>(c));
    return k * dq + 0;
}

// The factors quantize_pow2_sample takes, from q and dq.
inline void quantize_pow2_factors(float &q, float &dq) {
    q = tessel::abs(q);
    dq = tessel::abs(dq);
}

inline void quantize_pow2_factors(double &, double &) {}

// blockmean~: start plus the samples of a block, added in order with a
// running total in double precision, rounded to the sample's precision.
//
// Single precision: when the block's numbers (start included) are all
// finite and their exponents span at most `limit` binades, every one is a
// whole multiple of the smallest one's last bit, and every partial sum, in
// any order, has at most 53 significant bits: it is exact in a double, and so
// is the sum in order. The block is then summed in eight independent lanes,
// which the vector unit adds side by side, for the same result; any other
// block is summed one sample after another.
VESK_KERNEL float block_sum(float start, const float *in, t_int n) {
    constexpr t_int chunk = 1024;  // at most 2^11 terms at a time: limit 53 - 24 - 12
    constexpr std::uint32_t limit = 53 - 24 - 12;
    double total = start;
    for (t_int at = 0; at < n; at += chunk) {
        t_int m = n - at < chunk ? n - at : chunk;
        const float *p = in + at;
        // exponent fields of the numbers that are not 0: lowest and highest
        std::uint32_t fs = tessel::bits(static_cast<float>(total)) << 1;  // the running total too
        std::uint32_t lo = fs ? fs >> 24 : 255, hi = fs >> 24;
        for (t_int i = 0; i < m; i++) {
            std::uint32_t b = tessel::bits(p[i]) << 1;  // sign dropped
            std::uint32_t f = b >> 24;
            std::uint32_t fl = b ? f : 255;  // a zero has no bits to place
            lo = fl < lo ? fl : lo;
            hi = f > hi ? f : hi;
        }
        bool exact = hi < 255 && hi - (lo > hi ? hi : lo) <= limit && static_cast<double>(static_cast<float>(total)) == total;
        if (exact) {
            double lane[8] = {total, 0, 0, 0, 0, 0, 0, 0};
            t_int i = 0;
            for (; i + 8 <= m; i += 8)
                for (int j = 0; j < 8; j++)
                    lane[j] += p[i + j];
            for (; i < m; i++)
                lane[0] += p[i];
            total = ((lane[0] + lane[1]) + (lane[2] + lane[3])) + ((lane[4] + lane[5]) + (lane[6] + lane[7]));
        } else {
            for (t_int i = 0; i < m; i++)
                total += p[i];
        }
    }
    return static_cast<float>(total);
}

// Double precision: a double's 53 bits leave no room; in order.
VESK_KERNEL double block_sum(double start, const double *in, t_int n) {
    double total = start;
    for (t_int i = 0; i < n; i++)
        total += in[i];
    return total;
}

}  // namespace vesk
