// next: bangs outlet 1 for the first message of each logical instant and
// outlet 2 for every further message of the same instant.
#include "m_pd.h"
#include "tessel/export.h"

static t_class *next_class;

struct t_next {
    t_object x_obj;
    double last;          // logical time of the last first-of-instant message
    t_outlet *x_again;    // outlet 2
};

// The instant of creation counts as seen: a message in it goes to outlet 2.
static void *next_new() {
    t_next *x = reinterpret_cast<t_next *>(pd_new(next_class));
    outlet_new(&x->x_obj, &s_bang);
    x->x_again = outlet_new(&x->x_obj, &s_bang);
    x->last = clock_getlogicaltime();
    return x;
}

// The time is stored before the bang goes out, so a message that comes back
// during it counts as a later one of the same instant.
static void next_anything(t_next *x, t_symbol *, int, t_atom *) {
    double now = clock_getlogicaltime();
    if (now == x->last) {
        outlet_bang(x->x_again);
    } else {
        x->last = now;
        outlet_bang(x->x_obj.ob_outlet);
    }
}

TESSEL_SETUP next_setup() {
    next_class = class_new(gensym("next"), reinterpret_cast<t_newmethod>(next_new), nullptr, sizeof(t_next), 0,
                           A_NULL);
    class_addanything(next_class, reinterpret_cast<t_method>(next_anything));
}
