// xy2ra: cartesian to polar. x on inlet 1 computes, y on inlet 2 is stored;
// sends the angle in radians (outlet 2) and then the distance (outlet 1).
#include "tessel/fmath.h"

#include "m_pd.h"
#include "tessel/export.h"

static t_class *xy2ra_class;

struct t_xy2ra {
    t_object x_obj;
    t_float x_y;  // written only by inlet 2; 0 from the zero-filled record
    t_outlet *x_out_angle;
};

static void *xy2ra_new() {
    t_xy2ra *x = reinterpret_cast<t_xy2ra *>(pd_new(xy2ra_class));
    floatinlet_new(&x->x_obj, &x->x_y);
    outlet_new(&x->x_obj, &s_float);
    x->x_out_angle = outlet_new(&x->x_obj, &s_float);
    return x;
}

// y is read again for the distance: an object downstream of the angle outlet
// that writes inlet 2 changes the distance sent by this same call.
static void xy2ra_float(t_xy2ra *x, t_floatarg xf) {
    outlet_float(x->x_out_angle, tessel::atan2(x->x_y, xf));
    outlet_float(x->x_obj.ob_outlet, tessel::hypot(xf, x->x_y));
}

TESSEL_SETUP xy2ra_setup() {
    xy2ra_class = class_new(gensym("xy2ra"), reinterpret_cast<t_newmethod>(xy2ra_new), nullptr,
                            sizeof(t_xy2ra), 0, A_NULL);
    class_doaddfloat(xy2ra_class, reinterpret_cast<t_method>(xy2ra_float));
}
