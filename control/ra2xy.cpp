// ra2xy: polar to cartesian. The distance on inlet 1 computes, the angle in
// radians on inlet 2 is stored; sends y (outlet 2) and then x (outlet 1).
#include "tessel/fmath.h"

#include "m_pd.h"
#include "tessel/export.h"

static t_class *ra2xy_class;

struct t_ra2xy {
    t_object x_obj;
    t_float x_angle;  // written only by inlet 2; 0 from the zero-filled record
    t_outlet *x_out_y;
};

static void *ra2xy_new() {
    t_ra2xy *x = reinterpret_cast<t_ra2xy *>(pd_new(ra2xy_class));
    floatinlet_new(&x->x_obj, &x->x_angle);
    outlet_new(&x->x_obj, &s_float);
    x->x_out_y = outlet_new(&x->x_obj, &s_float);
    return x;
}

// The angle is read again for x: an object downstream of the y outlet that
// writes inlet 2 changes the x sent by this same call. A negative distance
// is used as it is and lands the point on the far side of the origin.
static void ra2xy_float(t_ra2xy *x, t_floatarg r) {
    outlet_float(x->x_out_y, tessel::sin(x->x_angle) * r);
    outlet_float(x->x_obj.ob_outlet, tessel::cos(x->x_angle) * r);
}

TESSEL_SETUP ra2xy_setup() {
    ra2xy_class = class_new(gensym("ra2xy"), reinterpret_cast<t_newmethod>(ra2xy_new), nullptr,
                            sizeof(t_ra2xy), 0, A_NULL);
    class_doaddfloat(ra2xy_class, reinterpret_cast<t_method>(ra2xy_float));
}
