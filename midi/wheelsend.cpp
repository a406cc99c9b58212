// wheelsend: sends a 14-bit pitch bend value, 0 to 16383, as its three MIDI
// bytes: status, LSB, MSB.
#include "midibytes.h"

static t_class *wheelsend_class;

struct t_wheelsend {
    t_object x_obj;
    t_float x_channel;     // inlet 2
    std::int32_t x_value;  // last value, in range or not; centre at creation
};

static void *wheelsend_new(t_floatarg channel) {
    t_wheelsend *x = reinterpret_cast<t_wheelsend *>(pd_new(wheelsend_class));
    x->x_channel = midi::to_int(channel) > 0 ? channel : 1;
    x->x_value = 8192;
    floatinlet_new(&x->x_obj, &x->x_channel);
    outlet_new(&x->x_obj, &s_float);
    return x;
}

static void wheelsend_dooutput(t_wheelsend *x) {
    int nibble = midi::send_nibble(midi::to_int(x->x_channel));
    std::int32_t v = x->x_value;
    if (nibble < 0 || v < 0 || v > 16383)
        return;
    midi::send_bytes(x->x_obj.ob_outlet, midi::bend + nibble, v & 0x7F, v >> 7);
}

static void wheelsend_float(t_wheelsend *x, t_floatarg f) {
    x->x_value = midi::to_int(f);
    wheelsend_dooutput(x);
}

MIDI_SETUP wheelsend_setup() {
    wheelsend_class = class_new(gensym("wheelsend"), reinterpret_cast<t_newmethod>(wheelsend_new), nullptr,
                                sizeof(t_wheelsend), 0, A_DEFFLOAT, A_NULL);
    class_addbang(wheelsend_class, reinterpret_cast<t_method>(wheelsend_dooutput));
    class_doaddfloat(wheelsend_class, reinterpret_cast<t_method>(wheelsend_float));
}
