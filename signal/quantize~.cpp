// quantize~: reduces a signal to a number of amplitude steps per unit
// (32768 by default; 0 passes the signal through).
#include "vesk.h"
#include "kernels.h"
#include "tessel/exact.h"

static t_class *quantize_class;

// How a block is worked, chosen whenever the number of steps changes.
enum quantize_mode : std::int32_t {
    quantize_pass,   // 0, subnormal, infinite or NaN steps: the signal passes
    quantize_pow2,   // a power of two with a normal step size: in the samples' own precision
    quantize_wide,   // k * step exact in a double, rounded once
    quantize_split,  // k * step wider than a double: in two exact halves
    quantize_tiny,   // a subnormal step: k * step from the bits
};

struct t_quantize {
    t_object x_obj;
    t_sample quantiz;    // steps per unit of amplitude; 0: pass through
    t_sample dequantiz;  // 1 / quantiz, the size of one step
    std::int32_t mode;   // a quantize_mode
    tessel::factor<t_sample> factor;  // what k = trunc(x * quantiz) needs
    tessel::step<t_sample> step;      // what k * dequantiz needs
};

static void quantize_set(t_quantize *x, t_float q) {
    x->quantiz = q;
    x->dequantiz = 1 / x->quantiz;  // infinite for 0, and then unused
    t_sample dq = x->dequantiz;
    constexpr auto top = tessel::ieee<t_sample>::inf >> tessel::ieee<t_sample>::mant;
    auto qe = tessel::exponent_field(x->quantiz), dqe = tessel::exponent_field(dq);
    // A number of steps so small that the host's DSP arithmetic reads it as
    // 0 (a subnormal one) passes the signal through, as 0 does; so do an
    // infinite number (steps of size 0) and NaN.
    if (qe == 0 || qe == top || dqe == top) {
        x->mode = quantize_pass;
        return;
    }
    x->factor = tessel::make_factor(x->quantiz);
    x->step = tessel::make_step(dq);
    bool pow2 = (tessel::bits(x->quantiz) & ((decltype(qe)(1) << tessel::ieee<t_sample>::mant) - 1)) == 0;
    if (pow2 && dqe != 0)
        x->mode = quantize_pow2;
    else if (x->step.kind == tessel::product_kind::tiny)
        x->mode = quantize_tiny;
    else if (x->step.kind == tessel::product_kind::split)
        x->mode = quantize_split;
    else
        x->mode = quantize_wide;
}

static void *quantize_new(t_floatarg q) {
    t_quantize *x = reinterpret_cast<t_quantize *>(pd_new(quantize_class));
    outlet_new(&x->x_obj, &s_signal);
    quantize_set(x, q == 0 ? 32768 : q);
    return x;
}

static void quantize_float(t_quantize *x, t_floatarg q) {
    quantize_set(x, q);
}

static void quantize_8bit(t_quantize *x) {
    quantize_set(x, 128);
}

static void quantize_16bit(t_quantize *x) {
    quantize_set(x, 32768);
}

// Per sample: k = trunc(x * quantiz), formed exactly, times dequantiz,
// formed exactly and rounded once (tessel/exact.h), chosen by the mode.
// Eight: n is a multiple of 8, and the power of two routine works in groups
// of 8 (vesk::map8).
// Wide: compiled for a processor with AVX2 and FMA (vesk::add_pair).
template <auto Product, bool Wide>
static VESK_KERNEL void quantize_products(const t_quantize *x, const t_sample *in, t_sample *out, t_int n) {
    const tessel::factor<t_sample> f = x->factor;
    const tessel::step<t_sample> s = x->step;
    for (t_int i = 0; i < n; i++) {
        t_sample v = in[i];
        out[i] = Product(tessel::trunc_product<Wide>(v, f), s);
    }
}

template <bool Eight, bool Wide = false>
static VESK_KERNEL void quantize_perform(t_quantize *x, const t_sample *in, t_sample *out, t_int n) {
    switch (x->mode) {
    case quantize_pow2: {
        t_sample q = x->quantiz, dq = x->dequantiz;
        vesk::quantize_pow2_factors(q, dq);
        auto f = [q, dq](t_sample v) { return vesk::quantize_pow2_sample<Wide>(v, q, dq); };
        if constexpr (Eight)
            vesk::map8(in, out, n, f);
        else
            vesk::map(in, out, n, f);
        break;
    }
    case quantize_wide:
        quantize_products<tessel::product_wide<t_sample>, Wide>(x, in, out, n);
        break;
    case quantize_split:
        quantize_products<static_cast<t_sample (*)(std::int32_t, const tessel::step<t_sample> &)>(
            tessel::product_split), Wide>(x, in, out, n);
        break;
    case quantize_tiny:
        quantize_products<static_cast<t_sample (*)(std::int32_t, const tessel::step<t_sample> &)>(
            tessel::product_tiny), Wide>(x, in, out, n);
        break;
    default:
        vesk::pass(in, out, n);
    }
}

static void quantize_dsp(t_quantize *x, t_signal **sp) {
    auto n = static_cast<t_int>(sp[0]->s_n);
    if ((n & 7) == 0)
        vesk::add_pair<quantize_perform<true>, quantize_perform<true, true>>(x, sp[0]->s_vec, sp[1]->s_vec, n);
    else
        vesk::add_pair<quantize_perform<false>, quantize_perform<false, true>>(x, sp[0]->s_vec, sp[1]->s_vec, n);
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
