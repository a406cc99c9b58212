// idlestep: sets (float) and reports (bang) the host scheduler's sleep grain.
//
// The host on Linux exports the setting through get_sys_sleepgrain (declared
// in its s_stuff.h). The declaration is weak, so the module still loads in a
// host without it; the setting is then a stand-in variable of this module,
// starting at 0 like the host's own unset grain and shared by every idlestep
// object, which changes nothing in the host.
#include "vesk.h"

extern "C" int *get_sys_sleepgrain(void) __attribute__((weak));

static t_class *idlestep_class;
static int idlestep_standin;
static int *idlestep_grain = &idlestep_standin;  // resolved by idlestep_setup

struct t_idlestep {
    t_object x_obj;
};

static void *idlestep_new() {
    t_idlestep *x = reinterpret_cast<t_idlestep *>(pd_new(idlestep_class));
    outlet_new(&x->x_obj, nullptr);
    return x;
}

static void idlestep_bang(t_idlestep *x) {
    outlet_float(x->x_obj.ob_outlet, static_cast<t_float>(*idlestep_grain));
}

// Only a float that truncates to a positive int is taken: 0, fractions below
// 1, negative numbers, NaN and numbers beyond the int range are refused.
static void idlestep_float(t_idlestep *x, t_floatarg f) {
    if (!(f >= 1 && f < 2147483648.0)) {
        pd_error(x, "[idlestep]: idlestep cannot be <= 0");
        return;
    }
    *idlestep_grain = tessel::trunc_sat<int>(f);
}

VESK_SETUP idlestep_setup() {
    if (get_sys_sleepgrain) {
        if (int *p = get_sys_sleepgrain())
            idlestep_grain = p;
    }
    idlestep_class = class_new(gensym("idlestep"), reinterpret_cast<t_newmethod>(idlestep_new), nullptr,
                               sizeof(t_idlestep), 0, A_NULL);
    class_addbang(idlestep_class, reinterpret_cast<t_method>(idlestep_bang));
    class_doaddfloat(idlestep_class, reinterpret_cast<t_method>(idlestep_float));
    vesk_register("idlestep", "Jan 25 2013");
}
