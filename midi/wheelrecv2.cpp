// wheelrecv2: reads a MIDI byte stream and reports each pitch bend as its
// two 7-bit halves, MSB and LSB.
#include "midibytes.h"

static t_class *wheelrecv2_class;

struct t_wheelrecv2 {
    t_object x_obj;
    midi::Receiver x_rx;  // first data byte: the LSB
    t_outlet *x_lsb_out;
    t_outlet *x_channel_out;  // only when omni
};

static void *wheelrecv2_new(t_floatarg channel) {
    t_wheelrecv2 *x = reinterpret_cast<t_wheelrecv2 *>(pd_new(wheelrecv2_class));
    midi::Listen l = midi::listen_to(midi::to_int(channel));
    x->x_rx = midi::make_receiver(midi::kind_bit(midi::bend), l);
    outlet_new(&x->x_obj, &s_float);
    x->x_lsb_out = outlet_new(&x->x_obj, &s_float);
    if (l.omni)
        x->x_channel_out = outlet_new(&x->x_obj, &s_float);
    return x;
}

static void wheelrecv2_float(t_wheelrecv2 *x, t_floatarg f) {
    std::uint8_t msb;
    if (!midi::receive(x->x_rx, midi::to_int(f), msb))
        return;
    int lsb = x->x_rx.first, channel = x->x_rx.nibble + 1;
    if (x->x_rx.omni)
        outlet_float(x->x_channel_out, static_cast<t_float>(channel));
    outlet_float(x->x_lsb_out, static_cast<t_float>(lsb));
    outlet_float(x->x_obj.ob_outlet, msb);
}

MIDI_SETUP wheelrecv2_setup() {
    wheelrecv2_class = class_new(gensym("wheelrecv2"), reinterpret_cast<t_newmethod>(wheelrecv2_new), nullptr,
                                 sizeof(t_wheelrecv2), 0, A_DEFFLOAT, A_NULL);
    class_doaddfloat(wheelrecv2_class, reinterpret_cast<t_method>(wheelrecv2_float));
}
