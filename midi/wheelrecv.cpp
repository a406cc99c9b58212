// wheelrecv: reads a MIDI byte stream and reports each pitch bend as one
// 14-bit value, MSB * 128 + LSB.
#include "midibytes.h"

static t_class *wheelrecv_class;

struct t_wheelrecv {
    t_object x_obj;
    midi::Receiver x_rx;  // first data byte: the LSB
    t_outlet *x_channel_out;  // only when omni
};

static void *wheelrecv_new(t_floatarg channel) {
    t_wheelrecv *x = reinterpret_cast<t_wheelrecv *>(pd_new(wheelrecv_class));
    midi::Listen l = midi::listen_to(midi::to_int(channel));
    x->x_rx = midi::make_receiver(midi::kind_bit(midi::bend), l);
    outlet_new(&x->x_obj, &s_float);
    if (l.omni)
        x->x_channel_out = outlet_new(&x->x_obj, &s_float);
    return x;
}

static void wheelrecv_float(t_wheelrecv *x, t_floatarg f) {
    std::uint8_t msb;
    if (!midi::receive(x->x_rx, midi::to_int(f), msb))
        return;
    int value = msb * 128 + x->x_rx.first, channel = x->x_rx.nibble + 1;
    if (x->x_rx.omni)
        outlet_float(x->x_channel_out, static_cast<t_float>(channel));
    outlet_float(x->x_obj.ob_outlet, static_cast<t_float>(value));
}

MIDI_SETUP wheelrecv_setup() {
    wheelrecv_class = class_new(gensym("wheelrecv"), reinterpret_cast<t_newmethod>(wheelrecv_new), nullptr,
                                sizeof(t_wheelrecv), 0, A_DEFFLOAT, A_NULL);
    class_doaddfloat(wheelrecv_class, reinterpret_cast<t_method>(wheelrecv_float));
}
