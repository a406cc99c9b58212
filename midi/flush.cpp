// flush: counts note ons per pitch as they pass, and on bang sends a note off
// for every note still held.
#include "midibytes.h"

static t_class *flush_class;

struct t_flush {
    t_object x_obj;
    t_float x_velocity;  // inlet 2, sent exactly as received
    midi::Counts<128> x_held;
    t_outlet *x_vel_out;
};

static void *flush_new() {
    t_flush *x = reinterpret_cast<t_flush *>(pd_new(flush_class));
    x->x_velocity = 0;
    x->x_held.clear();
    floatinlet_new(&x->x_obj, &x->x_velocity);
    outlet_new(&x->x_obj, &s_float);
    x->x_vel_out = outlet_new(&x->x_obj, &s_float);
    return x;
}

static void flush_float(t_flush *x, t_floatarg f) {
    std::int32_t p = midi::to_int(f);
    if (p < 0 || p > 127)
        return;
    t_float velocity = x->x_velocity;
    outlet_float(x->x_vel_out, velocity);
    outlet_float(x->x_obj.ob_outlet, static_cast<t_float>(p));
    // -0 is a note off; NaN is not 0, so it counts as a note on
    if (velocity == 0)
        x->x_held.lower(p);
    else
        x->x_held.raise(p);
}

static void flush_bang(t_flush *x) {
    x->x_held.drain([x](int p) {
        outlet_float(x->x_vel_out, 0);
        outlet_float(x->x_obj.ob_outlet, static_cast<t_float>(p));
    });
}

static void flush_clear(t_flush *x) {
    x->x_held.clear();
}

MIDI_SETUP flush_setup() {
    flush_class = class_new(gensym("flush"), reinterpret_cast<t_newmethod>(flush_new), nullptr, sizeof(t_flush),
                            0, A_NULL);
    class_doaddfloat(flush_class, reinterpret_cast<t_method>(flush_float));
    class_addbang(flush_class, reinterpret_cast<t_method>(flush_bang));
    class_addmethod(flush_class, reinterpret_cast<t_method>(flush_clear), gensym("clear"), A_NULL);
}
