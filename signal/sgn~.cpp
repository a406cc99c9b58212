// sgn~: the sign of a signal, 1, -1 or 0 per sample.
#include "vesk.h"

static t_class *sgnTilde_class;

struct t_sgnTilde {
    t_object x_obj;
};

static void *sgnTilde_new(t_floatarg) {
    t_sgnTilde *x = reinterpret_cast<t_sgnTilde *>(pd_new(sgnTilde_class));
    outlet_new(&x->x_obj, &s_signal);
    return x;
}

static VESK_KERNEL void sgnTilde_perform(const t_sample *in, t_sample *out, t_int n) {
    vesk::map(in, out, n, vesk::sign);
}

static VESK_KERNEL void sgnTilde_perform8(const t_sample *in, t_sample *out, t_int n) {
    vesk::map8(in, out, n, vesk::sign);
}

static void sgnTilde_dsp(t_sgnTilde *, t_signal **sp) {
    vesk::add_choice<sgnTilde_perform, sgnTilde_perform8>(sp[0]->s_n, sp[0]->s_vec, sp[1]->s_vec,
                                                          static_cast<t_int>(sp[0]->s_n));
}

static void sgnTilde_helper() {
    post("\n%c sgn~ \t\t:: sign of a signal", 64);
}

VESK_SETUP sgn_tilde_setup() {
    sgnTilde_class = class_new(gensym("sgn~"), reinterpret_cast<t_newmethod>(sgnTilde_new), nullptr,
                               sizeof(t_sgnTilde), 0, A_DEFFLOAT, A_NULL);
    vesk::signal_inlet(sgnTilde_class);
    vesk::dsp_method(sgnTilde_class, sgnTilde_dsp);
    vesk::help_method(sgnTilde_class, sgnTilde_helper);
    class_sethelpsymbol(sgnTilde_class, gensym("sigmathops"));
    vesk_register("sgn~");
}
