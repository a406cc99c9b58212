// sustain: a sustain pedal for pitch and velocity pairs. While the pedal is
// down note offs are held back; releasing the pedal sends them.
#include "midibytes.h"

static t_class *sustain_class;

struct t_sustain {
    t_object x_obj;
    t_float x_velocity;  // inlet 2, sent exactly as received
    int x_pedal;         // 1 while the pedal is down
    midi::Counts<128> x_held;  // note offs held back, per pitch
    t_outlet *x_vel_out;
};

static void *sustain_new() {
    t_sustain *x = reinterpret_cast<t_sustain *>(pd_new(sustain_class));
    x->x_velocity = 0;
    x->x_pedal = 0;
    x->x_held.clear();
    floatinlet_new(&x->x_obj, &x->x_velocity);
    inlet_new(&x->x_obj, &x->x_obj.ob_pd, &s_float, gensym("ft2"));
    outlet_new(&x->x_obj, &s_float);
    x->x_vel_out = outlet_new(&x->x_obj, &s_float);
    return x;
}

static void sustain_float(t_sustain *x, t_floatarg f) {
    std::int32_t p = midi::to_int(f);
    if (p < 0 || p > 127)
        return;
    // -0 is a note off; NaN is not 0, so it passes as a note on
    if (x->x_velocity == 0 && x->x_pedal) {
        x->x_held.raise(p);
        return;
    }
    outlet_float(x->x_vel_out, x->x_velocity);
    outlet_float(x->x_obj.ob_outlet, static_cast<t_float>(p));
}

static void sustain_bang(t_sustain *x) {
    x->x_held.drain([x](int p) {
        outlet_float(x->x_vel_out, 0);
        outlet_float(x->x_obj.ob_outlet, static_cast<t_float>(p));
    });
}

static void sustain_ft2(t_sustain *x, t_floatarg f) {
    if (midi::to_int(f) != 0) {
        x->x_pedal = 1;
        return;
    }
    if (x->x_pedal) {
        sustain_bang(x);
        x->x_pedal = 0;
    }
}

MIDI_SETUP sustain_setup() {
    sustain_class = class_new(gensym("sustain"), reinterpret_cast<t_newmethod>(sustain_new), nullptr,
                              sizeof(t_sustain), 0, A_NULL);
    class_doaddfloat(sustain_class, reinterpret_cast<t_method>(sustain_float));
    class_addbang(sustain_class, reinterpret_cast<t_method>(sustain_bang));
    class_addmethod(sustain_class, reinterpret_cast<t_method>(sustain_ft2), gensym("ft2"), A_FLOAT, A_NULL);
}
