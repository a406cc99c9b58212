// blockmean~: sums its input and, on a bang, sends the arithmetic mean of
// every sample computed since the previous bang.
#include "vesk.h"
#include "kernels.h"

static t_class *blockmean_class;

struct t_blockmean {
    t_object x_obj;
    t_sample buf;           // running sum since the last bang
    std::uint64_t samples;  // samples summed into buf (0: no block since the last bang)
};

static void *blockmean_new(t_floatarg) {  // the argument is accepted, not used
    t_blockmean *x = reinterpret_cast<t_blockmean *>(pd_new(blockmean_class));
    outlet_new(&x->x_obj, gensym("float"));
    return x;
}

// The mean divides by the samples actually summed, so a block-size change
// between two bangs does not distort it. The sum is cleared before the mean
// is sent: a bang that comes back from downstream finds nothing to report.
static void blockmean_bang(t_blockmean *x) {
    if (!x->samples)
        return;
    double mean = static_cast<double>(x->buf) / static_cast<double>(x->samples);
    x->samples = 0;
    x->buf = 0;
    outlet_float(x->x_obj.ob_outlet, static_cast<t_float>(mean));
}

// The block's samples are added to buf in order, the running total in
// double precision (vesk::block_sum, which gets the same sum from side-by-side
// lanes where that is exact).
static VESK_KERNEL void blockmean_perform(const t_sample *in, t_blockmean *x, t_int n) {
    x->buf = vesk::block_sum(x->buf, in, n);
    x->samples += static_cast<std::uint64_t>(n);
}

static void blockmean_dsp(t_blockmean *x, t_signal **sp) {
    vesk::add<blockmean_perform>(static_cast<const t_sample *>(sp[0]->s_vec), x,
                                 static_cast<t_int>(sp[0]->s_n));
}

static void blockmean_helper() {
    post("blockmean~\t\t:: outputs the arithmetic mean of a signal when triggered");
    post("<bang>\t\t:  triggers the output");
}

VESK_SETUP blockmean_tilde_setup() {
    blockmean_class = class_new(gensym("blockmean~"), reinterpret_cast<t_newmethod>(blockmean_new), nullptr,
                                sizeof(t_blockmean), 0, A_DEFFLOAT, A_NULL);
    vesk::signal_inlet(blockmean_class);
    vesk::dsp_method(blockmean_class, blockmean_dsp);
    class_addbang(blockmean_class, reinterpret_cast<t_method>(blockmean_bang));
    vesk::help_method(blockmean_class, blockmean_helper);
    vesk_register("blockmean~");
}
