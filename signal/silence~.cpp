// silence~: reports, as a float, whenever its input turns from all-zero to
// non-zero (1) or back (0).
#include "vesk.h"

static t_class *silence_class;

struct t_silence {
    t_object x_obj;
    int activate;  // 1 while the detector is on; a new object is off
    int current;   // the state last reported: 1 non-zero, 0 zero
};

static void *silence_new() {
    t_silence *x = reinterpret_cast<t_silence *>(pd_new(silence_class));
    outlet_new(&x->x_obj, gensym("float"));
    return x;
}

static void silence_float(t_silence *x, t_floatarg f) {
    x->activate = f != 0;  // a NaN is not 0: it switches the detector on
}

static void silence_bang(t_silence *x) {
    x->activate = 1;
}

static void silence_off(t_silence *x) {
    x->activate = 0;
}

// The scan stops at the first sample that compares unequal to 0 (a NaN does,
// -0 does not; a subnormal compares equal, as the host runs DSP with
// subnormals treated as zero). Only a change of state is sent.
static VESK_KERNEL void silence_perform(const t_sample *in, t_silence *x, t_int n) {
    if (!x->activate)
        return;
    int nonzero = 0;
    for (t_int i = 0; i < n; i++)
        if (in[i] != 0) {
            nonzero = 1;
            break;
        }
    if (nonzero != x->current) {
        x->current = nonzero;
        outlet_float(x->x_obj.ob_outlet, static_cast<t_float>(nonzero));
    }
}

static void silence_dsp(t_silence *x, t_signal **sp) {
    vesk::add<silence_perform>(static_cast<const t_sample *>(sp[0]->s_vec), x, static_cast<t_int>(sp[0]->s_n));
}

static void silence_helper() {
    post("\n%c silence~-object :: for detecting whether a signal is currently zero or not", 64);
    post("'bang'\t: turn the detector on\n'off'\t: turn it off\n<1/0>\t: turn it on/off\n'help'\t: view this\nsignal~");
    post("outlet :: 1/0\t: signal turned to non-zero/zero\n");
}

VESK_SETUP silence_tilde_setup() {
    silence_class = class_new(gensym("silence~"), reinterpret_cast<t_newmethod>(silence_new), nullptr,
                              sizeof(t_silence), 0, A_NULL);
    class_doaddfloat(silence_class, reinterpret_cast<t_method>(silence_float));
    class_addbang(silence_class, reinterpret_cast<t_method>(silence_bang));
    class_addmethod(silence_class, reinterpret_cast<t_method>(silence_off), gensym("off"), A_NULL);
    vesk::signal_inlet(silence_class);
    vesk::dsp_method(silence_class, silence_dsp);
    vesk::help_method(silence_class, silence_helper);
    vesk_register("silence~");
}
