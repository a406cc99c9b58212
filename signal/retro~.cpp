// retro~: reverses every block (the last sample first).
#include "vesk.h"

static t_class *retro_class;

struct t_retro {
    t_object x_obj;
    std::int32_t doit;  // 1: reverse; 0: pass through
};

static void *retro_new() {
    t_retro *x = reinterpret_cast<t_retro *>(pd_new(retro_class));
    x->doit = 1;
    outlet_new(&x->x_obj, &s_signal);
    return x;
}

static void retro_float(t_retro *x, t_floatarg f) {
    x->doit = f != 0;  // NaN counts as other than 0
}

// Exchanges the samples at i and n - 1 - i, both read before either is
// written, so the same routine works in place. The one odd block size the
// host makes is 1: its sample stays where it is, which in place needs
// nothing and with separate buffers is the short copy.
static VESK_KERNEL void retro_perform(t_retro *x, const t_sample *in, t_sample *out, t_int n) {
    if (!x->doit) {
        vesk::pass(in, out, n);
        return;
    }
    t_int h = n / 2;
    if (in != out && n < 16) {  // a short block: a plain copy backwards costs least
        for (t_int i = 0; i < n; i++)
            out[i] = in[n - 1 - i];
        return;
    }
    for (t_int i = 0; i < h; i++) {
        t_sample a = in[i], b = in[n - 1 - i];
        out[i] = b;
        out[n - 1 - i] = a;
    }
}

static void retro_dsp(t_retro *x, t_signal **sp) {
    vesk::add<retro_perform>(x, sp[0]->s_vec, sp[1]->s_vec, static_cast<t_int>(sp[0]->s_n));
}

static void retro_helper() {
    post("\n%c retro~-object for reverting a signal", 64);
    post("'help' : view this\nsignal~");
    post("outlet : signal~");
}

VESK_SETUP retro_tilde_setup() {
    retro_class = class_new(gensym("retro~"), reinterpret_cast<t_newmethod>(retro_new), nullptr,
                            sizeof(t_retro), 0, A_NULL);
    vesk::signal_inlet(retro_class);
    class_doaddfloat(retro_class, reinterpret_cast<t_method>(retro_float));
    vesk::dsp_method(retro_class, retro_dsp);
    vesk::help_method(retro_class, retro_helper);
    vesk_register("retro~");
}
