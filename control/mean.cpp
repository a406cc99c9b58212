// mean: the arithmetic mean of every float received since creation or
// "clear", with the count; a list replaces the history with its own floats.
#include <cstdint>

#include "m_pd.h"
#include "tessel/export.h"

static t_class *mean_class;

struct t_mean {
    t_object x_obj;
    double sum;           // kept in double precision so long runs do not drift
    std::uint32_t count;
    t_float mean;         // the last mean, repeated by a bang
    t_outlet *x_count;    // outlet 2
};

static void *mean_new() {
    t_mean *x = reinterpret_cast<t_mean *>(pd_new(mean_class));
    x->sum = 0;
    x->count = 0;
    x->mean = 0;
    outlet_new(&x->x_obj, &s_float);
    x->x_count = outlet_new(&x->x_obj, &s_float);
    return x;
}

static void mean_clear(t_mean *x) {
    x->sum = 0;
    x->count = 0;
    x->mean = 0;
}

static void mean_bang(t_mean *x) {
    outlet_float(x->x_count, static_cast<t_float>(x->count));
    outlet_float(x->x_obj.ob_outlet, x->mean);
}

static void mean_float(t_mean *x, t_floatarg f) {
    x->sum += f;
    if (++x->count == 0)  // the count wrapped: start again from nothing
        mean_clear(x);
    else
        x->mean = static_cast<t_float>(x->sum / static_cast<double>(x->count));
    mean_bang(x);
}

// Only float elements count; symbols and other atoms are skipped.
static void mean_list(t_mean *x, t_symbol *, int argc, t_atom *argv) {
    mean_clear(x);
    for (int i = 0; i < argc; i++) {
        if (argv[i].a_type == A_FLOAT) {
            x->sum += argv[i].a_w.w_float;
            x->count++;
        }
    }
    if (x->count > 0)
        x->mean = static_cast<t_float>(x->sum / static_cast<double>(x->count));
    mean_bang(x);
}

TESSEL_SETUP mean_setup() {
    mean_class = class_new(gensym("mean"), reinterpret_cast<t_newmethod>(mean_new), nullptr, sizeof(t_mean),
                           0, A_NULL);
    class_addbang(mean_class, reinterpret_cast<t_method>(mean_bang));
    class_doaddfloat(mean_class, reinterpret_cast<t_method>(mean_float));
    class_addlist(mean_class, reinterpret_cast<t_method>(mean_list));
    class_addmethod(mean_class, reinterpret_cast<t_method>(mean_clear), gensym("clear"), A_NULL);
}
