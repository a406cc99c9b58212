// unarymath: the frame shared by the one-argument math classes asin, acos,
// sinh, cosh and tanh.
//
// Each member is a module of its own that includes this header once and
// names its function: a float in computes the function, stores the result
// and sends it; a bang sends the stored result again; the optional creation
// argument computes a first result without sending it.
#pragma once

#include "tessel/fmath.h"

#include "m_pd.h"
#include "tessel/export.h"

// Setup entries are the only symbols a module exports.
#define UNARYMATH_SETUP TESSEL_SETUP

static t_class *unarymath_class;

struct t_unarymath {
    t_object x_obj;
    t_float x_result;  // the last result, sent again on bang
};

// The member's function, set once by its setup entry.
static t_float (*unarymath_fn)(t_float);

static void *unarymath_new(t_floatarg f) {
    t_unarymath *x = reinterpret_cast<t_unarymath *>(pd_new(unarymath_class));
    x->x_result = unarymath_fn(f);
    outlet_new(&x->x_obj, &s_float);
    return x;
}

// The result is stored before it is sent, so a bang that comes back from
// downstream repeats the new value.
static void unarymath_float(t_unarymath *x, t_floatarg f) {
    x->x_result = unarymath_fn(f);
    outlet_float(x->x_obj.ob_outlet, x->x_result);
}

static void unarymath_bang(t_unarymath *x) {
    outlet_float(x->x_obj.ob_outlet, x->x_result);
}

// Clamps x to [-1, 1], the domain of the arc functions. A NaN fails both
// comparisons and passes unchanged (its function is NaN too).
static inline t_float unarymath_clamp1(t_float x) {
    if (x < -1)
        return -1;
    if (x > 1)
        return 1;
    return x;
}

static void unarymath_register(const char *name, t_float (*fn)(t_float)) {
    unarymath_fn = fn;
    unarymath_class = class_new(gensym(name), reinterpret_cast<t_newmethod>(unarymath_new), nullptr,
                                sizeof(t_unarymath), 0, A_DEFFLOAT, A_NULL);
    class_addbang(unarymath_class, reinterpret_cast<t_method>(unarymath_bang));
    class_doaddfloat(unarymath_class, reinterpret_cast<t_method>(unarymath_float));
}
