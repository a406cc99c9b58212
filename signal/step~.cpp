// step~: a level that switches to 1 at a chosen position and back to 0 after
// a chosen number of samples (a rectangular window); with length 0 it stays
// at 1 (a unit step).
#include "vesk.h"

static t_class *step_class;

// Where a countdown rests once it has passed 0: it stops there instead of
// decreasing for ever (and wrapping after 2^31 samples).
static constexpr std::int32_t step_idle = -1;

struct t_step {
    t_object x_obj;
    std::int32_t position;    // stored window start, used by "bang"
    std::int32_t length;      // window length + 1
    std::int32_t toggle;      // current level, 0 or 1
    std::int32_t wait4start;  // samples to the start switch
    std::int32_t wait4stop;   // the stop switch falls where this, decreased first, reaches 0
};

// A requested length r (0 for anything not above 0) is stored as r + 1.
static void step_setlength(t_step *x, t_floatarg f) {
    double r = f > 0 ? static_cast<double>(f) : 0.0;
    x->length = tessel::trunc_sat<std::int32_t>(r + 1.0, 1);
}

static void *step_new(t_floatarg a) {
    t_step *x = reinterpret_cast<t_step *>(pd_new(step_class));
    // A fresh object is at rest at level 0, so that a trigger that arrives
    // before the first block opens its window the right way round.
    x->toggle = 0;
    x->wait4start = step_idle;
    x->wait4stop = step_idle;
    step_setlength(x, a);
    inlet_new(&x->x_obj, &x->x_obj.ob_pd, &s_float, gensym("ft1"));
    outlet_new(&x->x_obj, &s_signal);
    return x;
}

static void step_bang(t_step *x) {
    x->wait4start = x->position;
    // Saturates rather than wraps: a stop beyond 2^31 samples never comes.
    std::int64_t stop = static_cast<std::int64_t>(x->position) + x->length;
    x->wait4stop = stop > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(stop);
}

static void step_float(t_step *x, t_floatarg p) {
    x->position = p > 0 ? tessel::trunc_sat<std::int32_t>(p, 0) : 0;
    step_bang(x);
}

// The level flips where the start count is 0, or else where the stop count
// (decreased first) is 0; one flip per sample at most.
static VESK_KERNEL void step_perform(t_step *x, t_sample *out, t_int n) {
    std::int32_t toggle = x->toggle, start = x->wait4start, stop = x->wait4stop;
    for (t_int i = 0; i < n; i++) {
        stop = stop > step_idle ? stop - 1 : step_idle;
        toggle ^= static_cast<std::int32_t>((start == 0) | (stop == 0));
        start = start > step_idle ? start - 1 : step_idle;
        out[i] = static_cast<t_sample>(toggle);
    }
    x->toggle = toggle;
    x->wait4start = start;
    x->wait4stop = stop;
}

static void step_dsp(t_step *x, t_signal **sp) {
    vesk::add<step_perform>(x, sp[0]->s_vec, static_cast<t_int>(sp[0]->s_n));
}

static void step_helper() {
    post("%c step~-object :: generates a unity-step", 64);
    post("creation : \"step~ [<length>]\" : create a window of <length> samples ('0' gives a unity-step)\n"
         "inlet1\t: <position>\t: switch on at <position> (in samples) for <length> samples\n"
         "\t  'bang'\t: switch on at the stored position\n"
         "\t  'help'\t: view this\n"
         "inlet2\t: <length>\t: length of the next window ('0' gives a unity-step)\n"
         "outlet\t: signal~");
}

VESK_SETUP step_tilde_setup() {
    step_class = class_new(gensym("step~"), reinterpret_cast<t_newmethod>(step_new), nullptr, sizeof(t_step),
                           0, A_DEFFLOAT, A_NULL);
    class_doaddfloat(step_class, reinterpret_cast<t_method>(step_float));
    class_addbang(step_class, reinterpret_cast<t_method>(step_bang));
    class_addmethod(step_class, reinterpret_cast<t_method>(step_setlength), gensym("ft1"), A_FLOAT, A_NULL);
    vesk::dsp_method(step_class, step_dsp);
    vesk::help_method(step_class, step_helper);
    vesk_register("step~");
}
