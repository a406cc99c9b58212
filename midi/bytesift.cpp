// bytesift: parses a MIDI byte stream into notes, pressures, controllers,
// programs and pitch bends, with the channel of each message.
#include "midibytes.h"

static t_class *bytesift_class;

struct t_bytesift {
    t_object x_obj;
    midi::Receiver x_rx;
    t_outlet *x_polytouch;
    t_outlet *x_control;
    t_outlet *x_program;
    t_outlet *x_touch;
    t_outlet *x_bend;
    t_outlet *x_channel;
};

static void *bytesift_new() {
    t_bytesift *x = reinterpret_cast<t_bytesift *>(pd_new(bytesift_class));
    outlet_new(&x->x_obj, &s_list);
    x->x_polytouch = outlet_new(&x->x_obj, &s_list);
    x->x_control = outlet_new(&x->x_obj, &s_list);
    x->x_program = outlet_new(&x->x_obj, &s_float);
    x->x_touch = outlet_new(&x->x_obj, &s_float);
    x->x_bend = outlet_new(&x->x_obj, &s_float);
    x->x_channel = outlet_new(&x->x_obj, &s_float);
    // every kind on every channel
    x->x_rx = midi::make_receiver(midi::every_kind, midi::listen_to(0));
    return x;
}

static void bytesift_pair(t_outlet *o, int a, int b) {
    t_atom at[2];
    SETFLOAT(&at[0], static_cast<t_float>(a));
    SETFLOAT(&at[1], static_cast<t_float>(b));
    outlet_list(o, nullptr, 2, at);
}

static void bytesift_float(t_bytesift *x, t_floatarg f) {
    std::uint8_t d;
    if (!midi::receive(x->x_rx, midi::to_int(f), d))
        return;
    // fields are read before the first output: a downstream object may feed
    // bytes back in while we send
    int kind = x->x_rx.kind, first = x->x_rx.first;
    outlet_float(x->x_channel, static_cast<t_float>(x->x_rx.nibble + 1));
    switch (kind) {
    case midi::note_off:  // the release velocity is dropped
        bytesift_pair(x->x_obj.ob_outlet, first, 0);
        break;
    case midi::note_on:
        bytesift_pair(x->x_obj.ob_outlet, first, d);
        break;
    case midi::polytouch:
        bytesift_pair(x->x_polytouch, d, first);
        break;
    case midi::control:
        bytesift_pair(x->x_control, d, first);
        break;
    case midi::program:
        outlet_float(x->x_program, d);
        break;
    case midi::touch:
        outlet_float(x->x_touch, d);
        break;
    default:  // the bend, the only kind left; 7-bit form: the MSB alone, the LSB is dropped
        outlet_float(x->x_bend, d);
    }
}

static void bytesift_clear(t_bytesift *x) {
    midi::reset(x->x_rx);
}

MIDI_SETUP bytesift_setup() {
    bytesift_class = class_new(gensym("bytesift"), reinterpret_cast<t_newmethod>(bytesift_new), nullptr,
                               sizeof(t_bytesift), 0, A_NULL);
    class_addbang(bytesift_class, reinterpret_cast<t_method>(bytesift_clear));
    class_doaddfloat(bytesift_class, reinterpret_cast<t_method>(bytesift_float));
}
