// route~: the signal at inlet 1 passes through outlet 1 unchanged; every
// message that reaches the same inlet leaves, unchanged, through outlet 2.
#include "vesk.h"

static t_class *route_class;

struct t_route {
    t_object x_obj;
    t_outlet *x_msgout;  // outlet 2: every message
};

// Outlet 1 carries the signal. The host frees both outlets with the object.
static void *route_new() {
    t_route *x = reinterpret_cast<t_route *>(pd_new(route_class));
    outlet_new(&x->x_obj, &s_signal);
    x->x_msgout = outlet_new(&x->x_obj, nullptr);
    return x;
}

// Bang, float, symbol and list have no method of their own, so the host hands
// them here too with their own selector.
static void route_anything(t_route *x, t_symbol *s, int argc, t_atom *argv) {
    outlet_anything(x->x_msgout, s, argc, argv);
}

// In place (the host gave the input's buffer as output) there is nothing to do.
static VESK_KERNEL void route_perform(const t_sample *in, t_sample *out, t_int n) {
    if (in == out)
        return;
    for (t_int i = 0; i < n; i++)
        out[i] = in[i];
}

static void route_dsp(t_route *x, t_signal **sp) {
    if (!sp) {  // called without signals: pass the "dsp" on as a message
        outlet_anything(x->x_msgout, gensym("dsp"), 0, nullptr);
        return;
    }
    vesk::add<route_perform>(static_cast<const t_sample *>(sp[0]->s_vec), sp[1]->s_vec,
                             static_cast<t_int>(sp[0]->s_n));
}

VESK_SETUP route_tilde_setup() {
    route_class = class_new(gensym("route~"), reinterpret_cast<t_newmethod>(route_new), nullptr,
                            sizeof(t_route), 0, A_NULL);
    class_addanything(route_class, reinterpret_cast<t_method>(route_anything));
    vesk::signal_inlet(route_class);
    vesk::dsp_method(route_class, route_dsp);
    vesk_register("route~");
}
