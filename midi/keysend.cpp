// keysend: builds a note on or a note off, with its velocity or release
// velocity, from numbers and sends its three MIDI bytes.
#include "midibytes.h"

static t_class *keysend_class;

struct t_keysend {
    t_object x_obj;
    t_float x_channel;   // inlet 4
    t_float x_flag;      // inlet 3: not 0 selects note on
    t_float x_velocity;  // inlet 2
    std::int32_t x_pitch;  // last pitch, in range or not; -1 before any
};

static void *keysend_new(t_floatarg channel) {
    t_keysend *x = reinterpret_cast<t_keysend *>(pd_new(keysend_class));
    floatinlet_new(&x->x_obj, &x->x_velocity);
    floatinlet_new(&x->x_obj, &x->x_flag);
    floatinlet_new(&x->x_obj, &x->x_channel);
    outlet_new(&x->x_obj, &s_float);
    x->x_flag = 0;
    x->x_velocity = 0;
    x->x_pitch = -1;
    x->x_channel = midi::to_int(channel) > 0 ? channel : 1;
    return x;
}

// A channel below 1 or a pitch outside 0..127 sends nothing; the velocity is
// masked to 7 bits rather than refused. A note on with velocity 0 stays a
// note on.
static void keysend_dooutput(t_keysend *x) {
    std::uint8_t kind = midi::to_int(x->x_flag) != 0 ? midi::note_on : midi::note_off;
    int nibble = midi::send_nibble(midi::to_int(x->x_channel));
    if (nibble < 0 || x->x_pitch < 0 || x->x_pitch > 127)
        return;
    midi::send_bytes(x->x_obj.ob_outlet, kind + nibble, x->x_pitch, midi::to_int(x->x_velocity) & 0x7F);
}

static void keysend_float(t_keysend *x, t_floatarg f) {
    x->x_pitch = midi::to_int(f);
    keysend_dooutput(x);
}

MIDI_SETUP keysend_setup() {
    keysend_class = class_new(gensym("keysend"), reinterpret_cast<t_newmethod>(keysend_new), nullptr,
                              sizeof(t_keysend), 0, A_DEFFLOAT, A_NULL);
    class_addbang(keysend_class, reinterpret_cast<t_method>(keysend_dooutput));
    class_doaddfloat(keysend_class, reinterpret_cast<t_method>(keysend_float));
}
