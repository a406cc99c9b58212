// dirac~: silence with one sample of 1.0 at a chosen position, counted from
// the start of the next block after a float or bang.
#include "vesk.h"

static t_class *dirac_class;

struct t_dirac {
    t_object x_obj;
    t_int position;  // stored position, used by "bang"
    t_int do_it;     // samples from the next block's start to the impulse; negative: none pending
};

static void *dirac_new(t_floatarg a) {
    t_dirac *x = reinterpret_cast<t_dirac *>(pd_new(dirac_class));
    outlet_new(&x->x_obj, &s_signal);
    x->do_it = -1;
    // A negative argument stores its magnitude; NaN stores 0.
    x->position = tessel::trunc_sat<t_int>(__builtin_fabs(static_cast<double>(a)), 0);
    return x;
}

// A negative position (and NaN, which has none) disarms the object until a
// float of 0 or more arrives.
static void dirac_float(t_dirac *x, t_floatarg a) {
    x->position = x->do_it = tessel::trunc_sat<t_int>(a, -1);
}

static void dirac_bang(t_dirac *x) {
    x->do_it = x->position;
}

// Writes the pending impulse if it falls in this block of n, else counts
// the block off.
static inline void dirac_place(t_dirac *x, t_sample *out, t_int n, t_int d) {
    if (d >= n) {
        x->do_it = d - n;
    } else if (d >= 0) {
        out[d] = 1.0f;
        x->do_it = -1;
    }
}

// Words: w[1] object, w[2] output, w[3] block length. The host's zeroing
// routines read their output and length from entries 1 and 2 of the array
// they get, so they are handed w + 1.
static t_int *dirac_perform(t_int *w) {
    t_dirac *x = reinterpret_cast<t_dirac *>(w[1]);
    t_int d = x->do_it;
    zero_perform(w + 1);
    dirac_place(x, reinterpret_cast<t_sample *>(w[2]), w[3], d);
    return w + 4;
}

static t_int *dirac_perf8(t_int *w) {
    t_dirac *x = reinterpret_cast<t_dirac *>(w[1]);
    t_int d = x->do_it;
    zero_perf8(w + 1);
    dirac_place(x, reinterpret_cast<t_sample *>(w[2]), w[3], d);
    return w + 4;
}

static void dirac_dsp(t_dirac *x, t_signal **sp) {
    vesk::add_raw_choice(sp[0]->s_n, dirac_perform, dirac_perf8, x, sp[0]->s_vec,
                         static_cast<t_int>(sp[0]->s_n));
}

static void dirac_helper() {
    post("%c dirac~-object :: generates a dirac (unity-pulse)", 64);
    post("creation : \"dirac~ [<position>]\" : create a dirac at specified position (in samples)\n"
         "inlet\t: <position>\t: create a dirac at new position\n"
         "\t  'bang'\t: create a dirac at specified position\n"
         "\t  'help'\t: view this\n"
         "outlet\t: signal~");
}

VESK_SETUP dirac_tilde_setup() {
    dirac_class = class_new(gensym("dirac~"), reinterpret_cast<t_newmethod>(dirac_new), nullptr,
                            sizeof(t_dirac), 0, A_DEFFLOAT, A_NULL);
    class_doaddfloat(dirac_class, reinterpret_cast<t_method>(dirac_float));
    class_addbang(dirac_class, reinterpret_cast<t_method>(dirac_bang));
    vesk::dsp_method(dirac_class, dirac_dsp);
    vesk::help_method(dirac_class, dirac_helper);
    vesk_register("dirac~");
}
