// swap~: exchanges the two bytes of each sample read as a 16-bit integer.
#include "vesk.h"

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

// x * 32768 truncated toward zero to 16 bits, saturating at -32768 and
// 32767 (so 1.0 and above give 0x7fff; NaN gives 0), bytes exchanged, read
// back as a signed 16-bit value and scaled by 2^-15. Samples that saturate
// (magnitude 1 or more) or are NaN are replaced by 0 before the conversion,
// which then always fits; every choice is a selection, not a branch, so that
// the loop is vectorised. The exchanged value is the low byte,
// sign-extended, times 256 plus the high byte.
static inline t_sample swap_sample(t_sample x) {
    t_sample a = tessel::abs(x);
    bool big = !(a < 1);  // magnitude 1 or more, or NaN
    auto s = static_cast<std::int32_t>((big ? 0 : x) * 32768);
    s = big ? (x < 0 ? -32768 : 32767) : s;
    s = a != a ? 0 : s;
    auto u = static_cast<std::uint32_t>(s);
    std::int32_t r = (static_cast<std::int32_t>(u << 24) >> 16) | static_cast<std::int32_t>((u >> 8) & 0xffu);
    return static_cast<t_sample>(r) * static_cast<t_sample>(1.0 / 32768.0);
}

static void swap_perform(t_swap *x, const t_sample *in, t_sample *out, t_int n) {
    if (!x->swapper)
        vesk::pass(in, out, n);
    else
        vesk::map(in, out, n, swap_sample);
}

static void swap_perform8(t_swap *x, const t_sample *in, t_sample *out, t_int n) {
    if (!x->swapper)
        vesk::pass(in, out, n);
    else
        vesk::map8(in, out, n, swap_sample);
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
