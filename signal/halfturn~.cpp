// halfturn~: swaps the two halves of every block (the later half first).
#include "vesk.h"

static t_class *halfturn_class;

struct t_halfturn {
    t_object x_obj;
    std::int32_t doit;       // 1: swap the halves; 0: pass through
    std::int32_t blocksize;  // capacity of blockbuffer, in samples
    t_sample *blockbuffer;   // the earlier half, saved before the output is written
};

static void *halfturn_new() {
    t_halfturn *x = reinterpret_cast<t_halfturn *>(pd_new(halfturn_class));
    x->doit = 1;
    outlet_new(&x->x_obj, &s_signal);
    return x;
}

static void halfturn_free(t_halfturn *x) {
    if (x->blockbuffer)
        freebytes(x->blockbuffer, static_cast<std::size_t>(x->blocksize) * sizeof(t_sample));
    x->blockbuffer = nullptr;
    x->blocksize = 0;
}

static void halfturn_float(t_halfturn *x, t_floatarg f) {
    x->doit = f != 0;  // NaN counts as other than 0
}

// With a buffer too small for the block (only when it could not be
// allocated) the signal passes through.
static void halfturn_perform(t_halfturn *x, const t_sample *in, t_sample *out, t_int n) {
    t_int h = n / 2;
    if (!x->doit || x->blocksize < h) {
        vesk::pass(in, out, n);
        return;
    }
    t_sample *buf = x->blockbuffer;
    for (t_int i = 0; i < h; i++)
        buf[i] = in[i];
    // Forward, from higher to lower positions: safe in place.
    for (t_int i = h; i < n; i++)
        out[i - h] = in[i];
    for (t_int i = 0; i < h; i++)
        out[n - h + i] = buf[i];
}

// The buffer only grows; a block length that later shrinks keeps it.
static void halfturn_dsp(t_halfturn *x, t_signal **sp) {
    t_int n = sp[0]->s_n;
    if (2 * static_cast<t_int>(x->blocksize) < n && n / 2 > 0) {
        halfturn_free(x);
        t_int h = n / 2;
        x->blockbuffer = static_cast<t_sample *>(getbytes(static_cast<std::size_t>(h) * sizeof(t_sample)));
        if (x->blockbuffer)
            x->blocksize = static_cast<std::int32_t>(h);
    }
    vesk::add<halfturn_perform>(x, sp[0]->s_vec, sp[1]->s_vec, n);
}

static void halfturn_helper() {
    post("\n%c halfturn~-object for blockwise-swapping of a signal ", 64);
    post("'help' : view this\nsignal~");
    post("outlet : signal~");
}

VESK_SETUP halfturn_tilde_setup() {
    halfturn_class = class_new(gensym("halfturn~"), reinterpret_cast<t_newmethod>(halfturn_new),
                               reinterpret_cast<t_method>(halfturn_free), sizeof(t_halfturn), 0, A_NULL);
    vesk::signal_inlet(halfturn_class);
    class_doaddfloat(halfturn_class, reinterpret_cast<t_method>(halfturn_float));
    vesk::dsp_method(halfturn_class, halfturn_dsp);
    vesk::help_method(halfturn_class, halfturn_helper);
    vesk_register("halfturn~");
}
