// The running extreme shared by Peak and Trough: the two classes differ only
// in their starting value and in which side of the comparison wins. Each
// module includes this header once and supplies its comparison.
#pragma once

#include "m_pd.h"
#include "tessel/export.h"

#define EXTREMUM_SETUP TESSEL_SETUP

struct t_extremum {
    t_object x_obj;
    t_float value;         // the current extreme
    t_outlet *x_isnew;     // outlet 2: 1 when the input set a new extreme
    t_outlet *x_isold;     // outlet 3: 1 when it did not
};

static inline void *extremum_new(t_class *c, t_float start) {
    t_extremum *x = reinterpret_cast<t_extremum *>(pd_new(c));
    x->value = start;
    inlet_new(&x->x_obj, &x->x_obj.ob_pd, &s_float, gensym("ft1"));
    outlet_new(&x->x_obj, &s_float);
    x->x_isnew = outlet_new(&x->x_obj, &s_float);
    x->x_isold = outlet_new(&x->x_obj, &s_float);
    return x;
}

// The flags go out before the value is stored, right to left, so a bang
// coming back from their downstream still repeats the old extreme.
static inline void extremum_report(t_extremum *x, t_float f, bool beyond) {
    if (beyond) {
        outlet_float(x->x_isold, 0);
        outlet_float(x->x_isnew, 1);
        x->value = f;
        outlet_float(x->x_obj.ob_outlet, f);
    } else {
        outlet_float(x->x_isold, 1);
        outlet_float(x->x_isnew, 0);
    }
}

// Inlet 2 forces a new extreme without comparing.
static inline void extremum_ft1(t_extremum *x, t_floatarg f) {
    extremum_report(x, f, true);
}

static inline void extremum_bang(t_extremum *x) {
    outlet_float(x->x_obj.ob_outlet, x->value);
}

// Registers the class under its name, its lower-case name and the name with
// the library prefix, all made by the same constructor.
static inline t_class *extremum_class(const char *name, const char *lower, const char *prefixed,
                                      void *(*ctor)(), void (*compare)(t_extremum *, t_floatarg)) {
    t_newmethod n = reinterpret_cast<t_newmethod>(ctor);
    t_class *c = class_new(gensym(name), n, nullptr, sizeof(t_extremum), 0, A_NULL);
    class_addcreator(n, gensym(lower), A_NULL);
    class_addcreator(n, gensym(prefixed), A_NULL);
    class_addbang(c, reinterpret_cast<t_method>(extremum_bang));
    class_doaddfloat(c, reinterpret_cast<t_method>(compare));
    class_addmethod(c, reinterpret_cast<t_method>(extremum_ft1), gensym("ft1"), A_FLOAT, A_NULL);
    return c;
}
