// forward: passes every message, unchanged, to whatever is bound to a name
// that "send" can change. It reads the binding anew for every message, so
// receivers that appear or go away later are found or missed accordingly.
#include "m_pd.h"
#include "tessel/export.h"

static t_class *forward_class;

struct t_forward {
    t_object x_obj;
    t_symbol *target;
};

static void *forward_new(t_symbol *s) {
    t_forward *x = reinterpret_cast<t_forward *>(pd_new(forward_class));
    x->target = s;
    return x;
}

static void forward_bang(t_forward *x) {
    if (t_pd *to = x->target->s_thing)
        pd_bang(to);
}

static void forward_float(t_forward *x, t_floatarg f) {
    if (t_pd *to = x->target->s_thing)
        pd_float(to, f);
}

static void forward_symbol(t_forward *x, t_symbol *s) {
    if (t_pd *to = x->target->s_thing)
        pd_symbol(to, s);
}

static void forward_pointer(t_forward *x, t_gpointer *p) {
    if (t_pd *to = x->target->s_thing)
        pd_pointer(to, p);
}

static void forward_list(t_forward *x, t_symbol *s, int argc, t_atom *argv) {
    if (t_pd *to = x->target->s_thing)
        pd_list(to, s, argc, argv);
}

static void forward_anything(t_forward *x, t_symbol *s, int argc, t_atom *argv) {
    if (t_pd *to = x->target->s_thing)
        pd_typedmess(to, s, argc, argv);
}

// "send" always re-targets; without a name the host gives the empty symbol.
static void forward_send(t_forward *x, t_symbol *s) {
    x->target = s;
}

TESSEL_SETUP forward_setup() {
    forward_class = class_new(gensym("forward"), reinterpret_cast<t_newmethod>(forward_new), nullptr,
                              sizeof(t_forward), 0, A_DEFSYM, A_NULL);
    class_addbang(forward_class, reinterpret_cast<t_method>(forward_bang));
    class_doaddfloat(forward_class, reinterpret_cast<t_method>(forward_float));
    class_addsymbol(forward_class, reinterpret_cast<t_method>(forward_symbol));
    class_addpointer(forward_class, reinterpret_cast<t_method>(forward_pointer));
    class_addlist(forward_class, reinterpret_cast<t_method>(forward_list));
    class_addanything(forward_class, reinterpret_cast<t_method>(forward_anything));
    class_addmethod(forward_class, reinterpret_cast<t_method>(forward_send), gensym("send"), A_DEFSYM, A_NULL);
}
