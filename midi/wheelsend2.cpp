// wheelsend2: sends a pitch bend from its two 7-bit halves, the MSB (hot)
// and the LSB (cold), as status, LSB, MSB.
#include "midibytes.h"

static t_class *wheelsend2_class;

struct t_wheelsend2 {
    t_object x_obj;
    t_float x_channel;   // inlet 3
    t_float x_lsb;       // inlet 2
    std::int32_t x_msb;  // last MSB, in range or not; centre at creation
};

static void *wheelsend2_new(t_floatarg channel) {
    t_wheelsend2 *x = reinterpret_cast<t_wheelsend2 *>(pd_new(wheelsend2_class));
    x->x_channel = midi::to_int(channel) > 0 ? channel : 1;
    x->x_lsb = 0;
    x->x_msb = 64;
    floatinlet_new(&x->x_obj, &x->x_lsb);
    floatinlet_new(&x->x_obj, &x->x_channel);
    outlet_new(&x->x_obj, &s_float);
    return x;
}

// The halves are tested, not masked: either outside 0..127 sends nothing.
static void wheelsend2_dooutput(t_wheelsend2 *x) {
    std::int32_t lsb = midi::to_int(x->x_lsb), msb = x->x_msb;
    int nibble = midi::send_nibble(midi::to_int(x->x_channel));
    if (msb < 0 || msb > 127 || lsb < 0 || lsb > 127 || nibble < 0)
        return;
    midi::send_bytes(x->x_obj.ob_outlet, midi::bend + nibble, lsb, msb);
}

static void wheelsend2_float(t_wheelsend2 *x, t_floatarg f) {
    x->x_msb = midi::to_int(f);
    wheelsend2_dooutput(x);
}

MIDI_SETUP wheelsend2_setup() {
    wheelsend2_class = class_new(gensym("wheelsend2"), reinterpret_cast<t_newmethod>(wheelsend2_new), nullptr,
                                 sizeof(t_wheelsend2), 0, A_DEFFLOAT, A_NULL);
    class_addbang(wheelsend2_class, reinterpret_cast<t_method>(wheelsend2_dooutput));
    class_doaddfloat(wheelsend2_class, reinterpret_cast<t_method>(wheelsend2_float));
}
