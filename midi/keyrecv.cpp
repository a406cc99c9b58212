// keyrecv: reads a MIDI byte stream and reports each note on and note off
// with its pitch, velocity or release velocity, an on/off flag and, when
// listening to every channel, the channel.
#include "midibytes.h"

static t_class *keyrecv_class;

struct t_keyrecv {
    t_object x_obj;
    midi::Receiver x_rx;  // first data byte: the pitch
    t_outlet *x_vel_out;
    t_outlet *x_flag_out;
    t_outlet *x_channel_out;  // only when omni
};

static void *keyrecv_new(t_floatarg channel) {
    t_keyrecv *x = reinterpret_cast<t_keyrecv *>(pd_new(keyrecv_class));
    midi::Listen l = midi::listen_to(midi::to_int(channel));
    x->x_rx = midi::make_receiver(midi::kind_bit(midi::note_on) | midi::kind_bit(midi::note_off), l);
    outlet_new(&x->x_obj, &s_float);
    x->x_vel_out = outlet_new(&x->x_obj, &s_float);
    x->x_flag_out = outlet_new(&x->x_obj, &s_float);
    if (l.omni)
        x->x_channel_out = outlet_new(&x->x_obj, &s_float);
    return x;
}

static void keyrecv_float(t_keyrecv *x, t_floatarg f) {
    std::uint8_t velocity;
    if (!midi::receive(x->x_rx, midi::to_int(f), velocity))
        return;
    int pitch = x->x_rx.first, channel = x->x_rx.nibble + 1;
    int on = x->x_rx.kind == midi::note_on && velocity != 0;
    if (x->x_rx.omni)
        outlet_float(x->x_channel_out, static_cast<t_float>(channel));
    outlet_float(x->x_flag_out, static_cast<t_float>(on));
    outlet_float(x->x_vel_out, velocity);
    outlet_float(x->x_obj.ob_outlet, static_cast<t_float>(pitch));
}

MIDI_SETUP keyrecv_setup() {
    keyrecv_class = class_new(gensym("keyrecv"), reinterpret_cast<t_newmethod>(keyrecv_new), nullptr,
                              sizeof(t_keyrecv), 0, A_DEFFLOAT, A_NULL);
    class_doaddfloat(keyrecv_class, reinterpret_cast<t_method>(keyrecv_float));
}
