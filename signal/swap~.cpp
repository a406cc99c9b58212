// swap~: exchanges the two bytes of each sample read as a 16-bit integer.
#include "vesk.h"
#include "kernels.h"

static t_class *swap_class;

struct t_swap {
    t_object x_obj;
    std::int32_t swapper;  // 1: swap bytes; 0: pass through
};

static void *swap_new() {
    t_swap *x = reinterpret_cast<t_swap *>(pd_new(swap_class));
    x->swapper = 1;
    outlet_new(&x->x_obj, &s_signal);
    return x;
}

static void swap_float(t_swap *x, t_floatarg f) {
    x->swapper = f != 0;  // NaN counts as other than 0
}

static void swap_bang(t_swap *x) {
    x->swapper = !x->swapper;
}

// One sample, in the samples' own precision (kernels.h).
static inline t_sample swap_one(t_sample x) {
    return vesk::swap_sample(x);
}

static VESK_KERNEL void swap_perform(t_swap *x, const t_sample *in, t_sample *out, t_int n) {
    if (!x->swapper)
        vesk::pass(in, out, n);
    else
        vesk::map(in, out, n, swap_one);
}

static VESK_KERNEL void swap_perform8(t_swap *x, const t_sample *in, t_sample *out, t_int n) {
    if (!x->swapper)
        vesk::pass(in, out, n);
    else
        vesk::map8(in, out, n, swap_one);
}

static void swap_dsp(t_swap *x, t_signal **sp) {
    vesk::add_choice<swap_perform, swap_perform8>(sp[0]->s_n, x, sp[0]->s_vec, sp[1]->s_vec,
                                                  static_cast<t_int>(sp[0]->s_n));
}

static void swap_helper() {
    post("\n%c swap~-object for byteswapping a signal", 64);
    post("<1/0>  : turn the swapper on/off\n'bang' : toggle the swapper on/off\n'help' : view this\nsignal~");
    post("outlet : signal~");
}

VESK_SETUP swap_tilde_setup() {
    swap_class = class_new(gensym("swap~"), reinterpret_cast<t_newmethod>(swap_new), nullptr, sizeof(t_swap),
                           0, A_NULL);
    vesk::signal_inlet(swap_class);
    class_doaddfloat(swap_class, reinterpret_cast<t_method>(swap_float));
    class_addbang(swap_class, reinterpret_cast<t_method>(swap_bang));
    vesk::dsp_method(swap_class, swap_dsp);
    vesk::help_method(swap_class, swap_helper);
    vesk_register("swap~");
}
