// retro~: reverses every block (the last sample first).
#include "vesk.h"

static t_class *retro_class;

struct t_retro {
    t_object x_obj;
    std::int32_t doit;       // 1: reverse; 0: pass through
    std::int32_t blocksize;  // capacity of blockbuffer, in samples
    t_sample *blockbuffer;   // a copy of the block, used when working in place
};

static void *retro_new() {
    t_retro *x = reinterpret_cast<t_retro *>(pd_new(retro_class));
    x->doit = 1;
    outlet_new(&x->x_obj, &s_signal);
    return x;
}

static void retro_free(t_retro *x) {
    if (x->blockbuffer)
        freebytes(x->blockbuffer, static_cast<std::size_t>(x->blocksize) * sizeof(t_sample));
    x->blockbuffer = nullptr;
    x->blocksize = 0;
}

static void retro_float(t_retro *x, t_floatarg f) {
    x->doit = f != 0;  // NaN counts as other than 0
}

// With a buffer too small for the block (only when it could not be
// allocated) the signal passes through, whatever the buffers.
static void retro_perform(t_retro *x, const t_sample *in, t_sample *out, t_int n) {
    if (!x->doit || x->blocksize < n) {
        vesk::pass(in, out, n);
        return;
    }
    const t_sample *src = in;
    if (in == out) {
        t_sample *buf = x->blockbuffer;
        for (t_int i = 0; i < n; i++)
            buf[i] = in[i];
        src = buf;
    }
    for (t_int i = 0; i < n; i++)
        out[i] = src[n - 1 - i];
}

// The buffer only grows; a block length that later shrinks keeps it.
static void retro_dsp(t_retro *x, t_signal **sp) {
    t_int n = sp[0]->s_n;
    if (x->blocksize < n) {
        retro_free(x);
        x->blockbuffer = static_cast<t_sample *>(getbytes(static_cast<std::size_t>(n) * sizeof(t_sample)));
        if (x->blockbuffer)
            x->blocksize = static_cast<std::int32_t>(n);
    }
    vesk::add<retro_perform>(x, sp[0]->s_vec, sp[1]->s_vec, n);
}

static void retro_helper() {
    post("\n%c retro~-object for reverting a signal", 64);
    post("'help' : view this\nsignal~");
    post("outlet : signal~");
}

VESK_SETUP retro_tilde_setup() {
    retro_class = class_new(gensym("retro~"), reinterpret_cast<t_newmethod>(retro_new),
                            reinterpret_cast<t_method>(retro_free), sizeof(t_retro), 0, A_NULL);
    vesk::signal_inlet(retro_class);
    class_doaddfloat(retro_class, reinterpret_cast<t_method>(retro_float));
    vesk::dsp_method(retro_class, retro_dsp);
    vesk::help_method(retro_class, retro_helper);
    vesk_register("retro~");
}
