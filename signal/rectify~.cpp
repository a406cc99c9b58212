// rectify~: absolute value (outlet 1) and sign (outlet 2) of a signal.
#include "vesk.h"

static t_class *rectify_class;

struct t_rectify {
    t_object x_obj;
    t_float x_f;  // inlet 1's constant while no signal is connected
};

static void *rectify_new(t_floatarg) {  // the argument is accepted, not used
    t_rectify *x = reinterpret_cast<t_rectify *>(pd_new(rectify_class));
    x->x_f = 0;
    outlet_new(&x->x_obj, &s_signal);
    outlet_new(&x->x_obj, &s_signal);
    return x;
}

// Both values come from one read of the input, so either outlet may share
// the input's buffer.
static VESK_KERNEL void rectify_perform(const t_sample *in, t_sample *absout, t_sample *sgnout, t_int n) {
    for (t_int i = 0; i < n; i++) {
        t_sample x = in[i];
        absout[i] = tessel::abs(x);
        sgnout[i] = vesk::sign(x);
    }
}

static void rectify_dsp(t_rectify *, t_signal **sp) {
    vesk::add<rectify_perform>(sp[0]->s_vec, sp[1]->s_vec, sp[2]->s_vec, static_cast<t_int>(sp[0]->s_n));
}

static void rectify_helper() {
    post("\n%c rectify~ \t\t:: absolute value and sign of a signal", 64);
    post("          \t\tby the tessel developers, after the vesk sign objects");
}

VESK_SETUP rectify_tilde_setup() {
    rectify_class = class_new(gensym("rectify~"), reinterpret_cast<t_newmethod>(rectify_new), nullptr,
                              sizeof(t_rectify), 0, A_DEFFLOAT, A_NULL);
    class_domainsignalin(rectify_class, offsetof(t_rectify, x_f));
    vesk::dsp_method(rectify_class, rectify_dsp);
    vesk::help_method(rectify_class, rectify_helper);
    class_sethelpsymbol(rectify_class, gensym("sigmathops"));
    vesk_register("rectify~");
}
