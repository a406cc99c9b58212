// tally: one number that inlet 2 adds to and inlet 3 multiplies, silently;
// a bang reads it out, a float on inlet 1 sets and sends it.
#include "m_pd.h"
#include "tessel/export.h"

static t_class *tally_class;

struct t_tally {
    t_object x_obj;
    t_float value;  // single precision: each sum or product is rounded as stored
};

static void *tally_new(t_floatarg f) {
    t_tally *x = reinterpret_cast<t_tally *>(pd_new(tally_class));
    x->value = f;
    inlet_new(&x->x_obj, &x->x_obj.ob_pd, &s_float, gensym("ft1"));
    inlet_new(&x->x_obj, &x->x_obj.ob_pd, &s_float, gensym("ft2"));
    outlet_new(&x->x_obj, &s_float);
    return x;
}

static void tally_bang(t_tally *x) {
    outlet_float(x->x_obj.ob_outlet, x->value);
}

static void tally_float(t_tally *x, t_floatarg f) {
    x->value = f;
    tally_bang(x);
}

static void tally_set(t_tally *x, t_floatarg f) {
    x->value = f;
}

static void tally_add(t_tally *x, t_floatarg f) {
    x->value = x->value + f;
}

static void tally_multiply(t_tally *x, t_floatarg f) {
    x->value = x->value * f;
}

TESSEL_SETUP tally_setup() {
    tally_class = class_new(gensym("tally"), reinterpret_cast<t_newmethod>(tally_new), nullptr,
                            sizeof(t_tally), 0, A_DEFFLOAT, A_NULL);
    class_addbang(tally_class, reinterpret_cast<t_method>(tally_bang));
    class_doaddfloat(tally_class, reinterpret_cast<t_method>(tally_float));
    class_addmethod(tally_class, reinterpret_cast<t_method>(tally_add), gensym("ft1"), A_FLOAT, A_NULL);
    class_addmethod(tally_class, reinterpret_cast<t_method>(tally_multiply), gensym("ft2"), A_FLOAT, A_NULL);
    class_addmethod(tally_class, reinterpret_cast<t_method>(tally_set), gensym("set"), A_FLOAT, A_NULL);
}
