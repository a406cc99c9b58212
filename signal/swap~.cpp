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
// back as a signed 16-bit value and scaled by 2^-15. Written with integer
// masks instead of comparisons of floats, so that the loop is vectorised:
// samples that saturate (magnitude 1 or more) or are NaN are replaced by 0
// before the conversion, which then always fits. The exchanged value is the
// low byte, sign-extended, times 256 plus the high byte.
static inline t_sample swap_sample(t_sample x) {
    std::uint32_t b = std::bit_cast<std::uint32_t>(x);
    std::uint32_t mag = b & 0x7fffffffu;
    std::uint32_t nan = mag > 0x7f800000u;
    std::uint32_t sat = (mag >= 0x3f800000u) & (nan ^ 1u);
    t_sample v = std::bit_cast<t_sample>(b & ((nan | sat) - 1u));
    auto s = static_cast<std::uint32_t>(static_cast<std::int32_t>(v * 32768.0f));
    std::uint32_t ss = 0x7fffu + (b >> 31);  // 32767, or 0x8000 (-32768) below -1
    std::uint32_t u = (s & (sat - 1u)) | (ss & (0u - sat));
    std::int32_t r = (static_cast<std::int32_t>(u << 24) >> 16) | static_cast<std::int32_t>((u >> 8) & 0xffu);
    return static_cast<t_sample>(r) * (1.0f / 32768.0f);
}

static void swap_perform(t_swap *x, const t_sample *in, t_sample *out, t_int n) {
    if (!x->swapper)
        vesk::pass(in, out, n);
    else
        vesk::map(in, out, n, swap_sample);
}

static void swap_dsp(t_swap *x, t_signal **sp) {
    vesk::add<swap_perform>(x, sp[0]->s_vec, sp[1]->s_vec, static_cast<t_int>(sp[0]->s_n));
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
