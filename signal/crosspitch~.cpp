// crosspitch~: estimates the frequency of a signal from the distance between
// its rising zero crossings; the estimate is a signal, updated at each one.
#include "vesk.h"

static t_class *crosspitch_class;

struct t_crosspitch {
    t_object x_obj;
    t_sample freq;       // the current estimate in Hz
    t_sample alt;        // the last input sample that was not 0 (0 before the first)
    t_sample sampcount;  // samples since the last rising crossing, with its fraction
    t_sample sr;         // the sample rate read at creation
    t_sample gap;        // samples from alt to the next input sample
};

static void *crosspitch_new() {
    t_crosspitch *x = reinterpret_cast<t_crosspitch *>(pd_new(crosspitch_class));
    outlet_new(&x->x_obj, &s_signal);
    x->sr = sys_getsr();
    x->gap = 1;
    return x;
}

// A rising crossing lies between a negative sample prev and a positive x,
// with only samples of exactly 0 between them (gap samples apart: 1 for
// neighbours), at the fraction x * g * gap of a sample before x
// (g = 1 / (x - prev)), where the straight line between them meets zero. A
// run of zeros is the line's own crossing, not a crossing of its own, as in
// quiet 16-bit audio and in sines that meet 0 on a sample. count holds the
// distance from the previous crossing to x, so the distance between the two
// crossings, the period, is count - x * g * gap. A NaN is not 0: it becomes
// prev, and no crossing starts from it.
static void crosspitch_perform(const t_sample *in, t_sample *out, t_int n, t_crosspitch *x) {
    double prev = x->alt, count = x->sampcount, estimate = x->freq, gap = x->gap;
    const double sr = x->sr;
    for (t_int i = 0; i < n; i++) {
        double v = in[i];
        if (v != 0) {
            if (prev * v < 0 && v > prev) {
                double g = 1 / (v - prev);
                double after = v * g * gap;  // from the crossing to v, within (0, gap]
                if (after != after)          // v = +inf: the crossing is at prev
                    after = prev == -__builtin_inf() ? 0.5 * gap : gap;
                double period = count - after;
                estimate = count > 0 && period > 0 ? sr / period : sr;
                count = after;
            }
            prev = v;
            gap = 0;
        }
        out[i] = static_cast<t_sample>(estimate);
        gap += 1;
        count += 1;
    }
    x->alt = static_cast<t_sample>(prev);
    x->sampcount = static_cast<t_sample>(count);
    x->freq = static_cast<t_sample>(estimate);
    x->gap = static_cast<t_sample>(gap);
}

static void crosspitch_dsp(t_crosspitch *x, t_signal **sp) {
    vesk::add<crosspitch_perform>(static_cast<const t_sample *>(sp[0]->s_vec), sp[1]->s_vec,
                                  static_cast<t_int>(sp[0]->s_n), x);
}

static void crosspitch_helper() {
    post("\n%c crosspitch~\t :: pitch-detector that counts zero-crossings", 64);
    post("\noutputs a frequency estimate as a stream~ that will be updated every zero-X");
    post("\ncreation::\t'crosspitch~': that's all");
}

VESK_SETUP crosspitch_tilde_setup() {
    crosspitch_class = class_new(gensym("crosspitch~"), reinterpret_cast<t_newmethod>(crosspitch_new), nullptr,
                                 sizeof(t_crosspitch), 0, A_NULL);
    vesk::signal_inlet(crosspitch_class);
    vesk::dsp_method(crosspitch_class, crosspitch_dsp);
    vesk::help_method(crosspitch_class, crosspitch_helper);
    vesk_register("crosspitch~");
}
