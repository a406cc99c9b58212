// singleshot: lets one bang through after it has been armed, then closes
// until it is armed again.
#include <cstdint>

#include "m_pd.h"
#include "tessel/export.h"
#include "tessel/numeric.h"

static t_class *singleshot_class;

struct t_singleshot {
    t_object x_obj;
    std::int32_t armed;  // 1 open, 0 closed
};

// Armed when the argument truncates to a non-zero integer (a NaN does not).
static void *singleshot_new(t_floatarg f) {
    t_singleshot *x = reinterpret_cast<t_singleshot *>(pd_new(singleshot_class));
    x->armed = tessel::trunc_sat<std::int32_t>(f, 0) != 0;
    inlet_new(&x->x_obj, &x->x_obj.ob_pd, &s_bang, gensym("bang1"));
    outlet_new(&x->x_obj, &s_bang);
    return x;
}

// The gate closes only when the bang has returned from downstream: a bang
// that comes back meanwhile passes too, and an arming meanwhile is undone.
static void singleshot_bang(t_singleshot *x) {
    if (!x->armed)
        return;
    outlet_bang(x->x_obj.ob_outlet);
    x->armed = 0;
}

static void singleshot_arm(t_singleshot *x) {
    x->armed = 1;
}

TESSEL_SETUP singleshot_setup() {
    singleshot_class = class_new(gensym("singleshot"), reinterpret_cast<t_newmethod>(singleshot_new), nullptr,
                                 sizeof(t_singleshot), 0, A_DEFFLOAT, A_NULL);
    class_addbang(singleshot_class, reinterpret_cast<t_method>(singleshot_bang));
    class_addmethod(singleshot_class, reinterpret_cast<t_method>(singleshot_arm), gensym("bang1"), A_NULL);
}
