// quantize~: reduces a signal to a number of amplitude steps per unit
// (32768 by default; 0 passes the signal through).
#include "vesk.h"

static t_class *quantize_class;

// How a block is worked, chosen whenever the number of steps changes.
enum quantize_mode : std::int32_t {
    quantize_pass,    // 0, subnormal, infinite or NaN steps: the signal passes
    quantize_pow2,    // a power of two with a normal step size: single precision
    quantize_double,  // the step's significand has its two low bits clear
    quantize_long,    // every other number of steps
};

struct t_quantize {
    t_object x_obj;
    t_sample quantiz;    // steps per unit of amplitude; 0: pass through
    t_sample dequantiz;  // 1 / quantiz, the size of one step
    std::int32_t mode;   // a quantize_mode
    std::uint32_t top;   // magnitude bits from which samples saturate (quantize_top)
    std::uint32_t qneg;  // sign bit of quantiz
};

static std::uint32_t quantize_top(double aq);

// The exponent field of a float: 0 for zero and subnormal numbers, 255 for
// infinities and NaN. Read from the bits, so that the choice does not depend
// on whether the processor treats subnormal numbers as zero at the time.
static inline std::uint32_t quantize_expo(t_sample v) {
    return (std::bit_cast<std::uint32_t>(v) >> 23) & 0xffu;
}

static void quantize_set(t_quantize *x, t_float q) {
    x->quantiz = q;
    x->dequantiz = 1.0f / q;  // infinite for 0, and then unused
    t_sample dq = x->dequantiz;
    std::uint32_t qe = quantize_expo(q), dqe = quantize_expo(dq);
    // A number of steps so small that the host's DSP arithmetic reads it as
    // 0 (a subnormal one) passes the signal through, as 0 does; so do an
    // infinite number (steps of size 0) and NaN.
    if (qe == 0 || qe == 0xff || dqe == 0xff) {
        x->mode = quantize_pass;
        return;
    }
    x->top = quantize_top(__builtin_fabs(static_cast<double>(q)));
    x->qneg = std::bit_cast<std::uint32_t>(q) >> 31;
    if ((std::bit_cast<std::uint32_t>(q) & 0x7fffffu) == 0 && dqe != 0)
        x->mode = quantize_pow2;
    else if ((std::bit_cast<std::uint32_t>(dq) & 3u) == 0)
        x->mode = quantize_double;
    else
        x->mode = quantize_long;
}

static void *quantize_new(t_floatarg q) {
    t_quantize *x = reinterpret_cast<t_quantize *>(pd_new(quantize_class));
    outlet_new(&x->x_obj, &s_signal);
    quantize_set(x, q == 0 ? 32768.0f : q);
    return x;
}

static void quantize_float(t_quantize *x, t_floatarg q) {
    quantize_set(x, q);
}

static void quantize_8bit(t_quantize *x) {
    quantize_set(x, 128.0f);
}

static void quantize_16bit(t_quantize *x) {
    quantize_set(x, 32768.0f);
}

// The smallest float magnitude whose product with |q| reaches 2^31, as the
// bits of a positive float: every sample at or above it saturates.
static std::uint32_t quantize_top(double aq) {
    constexpr double limit = 2147483648.0;
    float t = static_cast<float>(limit / aq);  // near it (maybe +inf)
    std::uint32_t b = std::bit_cast<std::uint32_t>(t);
    while (b > 0 && static_cast<double>(std::bit_cast<float>(b - 1)) * aq >= limit)
        b--;
    while (b < 0x7f800000u && static_cast<double>(std::bit_cast<float>(b)) * aq < limit)
        b++;
    return b;
}

// k, the product x * q (exact in double) truncated toward zero, saturating
// at -2^31 and 2^31 - 1; NaN gives 0. Written with integer masks instead of
// comparisons of floats, so that the loops around it are vectorised:
// samples that saturate or are NaN are replaced by 0 before the conversion,
// which then always fits.
static inline std::int32_t quantize_k(t_sample x, double qd, std::uint32_t top, std::uint32_t qneg) {
    std::uint32_t b = std::bit_cast<std::uint32_t>(x);
    std::uint32_t mag = b & 0x7fffffffu;
    std::uint32_t nan = mag > 0x7f800000u;
    std::uint32_t sat = (mag >= top) & (nan ^ 1u);
    t_sample v = std::bit_cast<t_sample>(b & ((nan | sat) - 1u));
    auto k = static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<double>(v) * qd));
    std::uint32_t ks = 0x7fffffffu + ((b >> 31) ^ qneg);  // 2^31 - 1, or -2^31 for a negative product
    return static_cast<std::int32_t>((k & (sat - 1u)) | (ks & (0u - sat)));
}

// The same for a power of two q with a normal step size, in single
// precision, from aq = |q| and adq = |dq|: the sign of x * q and that of dq
// cancel, and k saturates at 2^31 - 1 or -2^31, both 2^31 once rounded to
// single precision. x * aq is then exact (or infinite, or below 1 where it
// leaves the normal range), below 2^31 its truncation toward zero is exact
// through an integer, and that float times adq is the product rounded once.
// NaN gives +0, and so does every zero (an integer converts to +0). Integer
// masks in place of comparisons of floats, so that the loop is vectorised.
static inline t_sample quantize_pow2_sample(t_sample x, t_sample aq, t_sample adq) {
    auto b = std::bit_cast<std::int32_t>(x * aq);
    std::int32_t mag = b & 0x7fffffff;                // compared as signed: fewer steps
    std::int32_t sat = 0 - (mag > 0x4effffff);         // 2^31 or more, or NaN
    std::int32_t num = 0 - (mag <= 0x7f800000);        // not NaN
    t_sample ts = std::bit_cast<t_sample>(b & ~sat);
    auto fi = std::bit_cast<std::int32_t>(static_cast<t_sample>(static_cast<std::int32_t>(ts)));
    std::int32_t top = (b & static_cast<std::int32_t>(0x80000000u)) | 0x4f000000;  // +-2^31
    return std::bit_cast<t_sample>(fi | (top & sat & num)) * adq;
}

// Per sample: k as above, times dequantiz, rounded once to single precision.
// Adding 0 makes a zero step +0 also for a negative number of steps, so that
// -q and q give the same samples.
//
// k * dequantiz needs up to 31 + 24 significant bits. For a power of two q
// the single precision routine above does it; when the step's significand
// has its two low bits clear the product fits a double; otherwise the wider
// long double holds it exactly.
// Eight: n is a multiple of 8, and the power of two routine works in groups
// of 8 (vesk::map8).
template <bool Eight>
static void quantize_perform(t_quantize *x, const t_sample *in, t_sample *out, t_int n) {
    t_sample q = x->quantiz, dq = x->dequantiz;
    double qd = q;
    std::uint32_t top = x->top, qneg = x->qneg;
    switch (x->mode) {
    case quantize_pow2: {
        t_sample aq = __builtin_fabsf(q), adq = __builtin_fabsf(dq);
        auto f = [aq, adq](t_sample v) { return quantize_pow2_sample(v, aq, adq); };
        if constexpr (Eight)
            vesk::map8(in, out, n, f);
        else
            vesk::map(in, out, n, f);
        break;
    }
    case quantize_double: {
        double dqd = dq;
        for (t_int i = 0; i < n; i++) {
            t_sample v = in[i];
            out[i] = static_cast<t_sample>(quantize_k(v, qd, top, qneg) * dqd + 0.0);
        }
        break;
    }
    case quantize_long: {
        long double dql = dq;
        for (t_int i = 0; i < n; i++) {
            t_sample v = in[i];
            out[i] = static_cast<t_sample>(quantize_k(v, qd, top, qneg) * dql + 0.0L);
        }
        break;
    }
    default:
        vesk::pass(in, out, n);
    }
}

static void quantize_dsp(t_quantize *x, t_signal **sp) {
    vesk::add_choice<quantize_perform<false>, quantize_perform<true>>(sp[0]->s_n, x, sp[0]->s_vec, sp[1]->s_vec,
                                                                     static_cast<t_int>(sp[0]->s_n));
}

static void quantize_helper() {
    post("%c quantize~-object\t:: used for quantizing signals by various degrees", 64);
    post("<quants> : quantize a signal into <quants> steps ('0' turns quantizing off)\n"
         "'8bit'   : quantize to 8 bit\n"
         "'16bit'  : quantize to 16 bit (default)\n"
         "'float'  : pass-through the signal unchanged\n"
         "'help'   : view this\n"
         "signal~\n");
    post("creation:: \"quantize~ [<quants>]\"");
}

VESK_SETUP quantize_tilde_setup() {
    quantize_class = class_new(gensym("quantize~"), reinterpret_cast<t_newmethod>(quantize_new), nullptr,
                               sizeof(t_quantize), 0, A_DEFFLOAT, A_NULL);
    vesk::signal_inlet(quantize_class);
    class_doaddfloat(quantize_class, reinterpret_cast<t_method>(quantize_float));
    class_addmethod(quantize_class, reinterpret_cast<t_method>(quantize_8bit), gensym("8bit"), A_NULL);
    class_addmethod(quantize_class, reinterpret_cast<t_method>(quantize_16bit), gensym("16bit"), A_NULL);
    vesk::dsp_method(quantize_class, quantize_dsp);
    vesk::help_method(quantize_class, quantize_helper);
    vesk_register("quantize~");
}
