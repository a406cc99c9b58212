// halfturn~: swaps the two halves of every block (the later half first).
#include "vesk.h"

static t_class *halfturn_class;

struct t_halfturn {
    t_object x_obj;
    std::int32_t doit;  // 1: swap the halves; 0: pass through
};

static void *halfturn_new() {
    t_halfturn *x = reinterpret_cast<t_halfturn *>(pd_new(halfturn_class));
    x->doit = 1;
    outlet_new(&x->x_obj, &s_signal);
    return x;
}

static void halfturn_float(t_halfturn *x, t_floatarg f) {
    x->doit = f != 0;  // NaN counts as other than 0
}

// An even block exchanges the samples at i and i + n/2, both read before
// either is written, so the same routine works in place. An odd block of
// 2h + 1 samples is turned left by h in place (its later h + 1 samples
// first); the host's block sizes are powers of two, so only the block of
// one sample, which stays as it is, gets there.
static VESK_KERNEL void halfturn_perform(t_halfturn *x, const t_sample *in, t_sample *out, t_int n) {
    t_int h = n / 2;
    if (!x->doit || (n & 1)) {
        vesk::pass(in, out, n);
        if (x->doit && h > 0)
            vesk::rotate(out, n, h);
        return;
    }
    for (t_int i = 0; i < h; i++) {
        t_sample a = in[i], b = in[i + h];
        out[i] = b;
        out[i + h] = a;
    }
}

static void halfturn_dsp(t_halfturn *x, t_signal **sp) {
    vesk::add<halfturn_perform>(x, sp[0]->s_vec, sp[1]->s_vec, static_cast<t_int>(sp[0]->s_n));
}

static void halfturn_helper() {
    post("\n%c halfturn~-object for blockwise-swapping of a signal ", 64);
    post("'help' : view this\nsignal~");
    post("outlet : signal~");
}

VESK_SETUP halfturn_tilde_setup() {
    halfturn_class = class_new(gensym("halfturn~"), reinterpret_cast<t_newmethod>(halfturn_new), nullptr,
                               sizeof(t_halfturn), 0, A_NULL);
    vesk::signal_inlet(halfturn_class);
    class_doaddfloat(halfturn_class, reinterpret_cast<t_method>(halfturn_float));
    vesk::dsp_method(halfturn_class, halfturn_dsp);
    vesk::help_method(halfturn_class, halfturn_helper);
    vesk_register("halfturn~");
}
