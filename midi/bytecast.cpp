// bytecast: formats notes, pressures, controllers, programs and 7-bit pitch
// bends as MIDI bytes, one float per byte, status byte first.
#include "midibytes.h"

static t_class *bytecast_class;

struct t_bytecast {
    t_object x_obj;
    t_float x_channel;  // stored as received; truncated when a status byte is built
};

static void *bytecast_new(t_floatarg channel) {
    t_bytecast *x = reinterpret_cast<t_bytecast *>(pd_new(bytecast_class));
    x->x_channel = channel;
    inlet_new(&x->x_obj, &x->x_obj.ob_pd, &s_list, gensym("lst1"));
    inlet_new(&x->x_obj, &x->x_obj.ob_pd, &s_list, gensym("lst2"));
    inlet_new(&x->x_obj, &x->x_obj.ob_pd, &s_float, gensym("ft3"));
    inlet_new(&x->x_obj, &x->x_obj.ob_pd, &s_float, gensym("ft4"));
    inlet_new(&x->x_obj, &x->x_obj.ob_pd, &s_float, gensym("ft5"));
    floatinlet_new(&x->x_obj, &x->x_channel);
    outlet_new(&x->x_obj, &s_float);
    return x;
}

// A channel of 0 or below is channel 1.
static std::int32_t bytecast_status(t_bytecast *x, std::uint8_t kind) {
    int nibble = midi::send_nibble(midi::to_int(x->x_channel));
    return kind + (nibble < 0 ? 0 : nibble);
}

// The first two elements of a list, both floats; false otherwise.
static bool bytecast_pair(int argc, t_atom *argv, std::int32_t &a, std::int32_t &b) {
    if (argc < 2 || argv[0].a_type != A_FLOAT || argv[1].a_type != A_FLOAT)
        return false;
    a = midi::to_int(argv[0].a_w.w_float);
    b = midi::to_int(argv[1].a_w.w_float);
    return true;
}

// Data values go out truncated but otherwise unchanged: no masking, no clamping.
static void bytecast_note(t_bytecast *x, t_symbol *, int argc, t_atom *argv) {
    std::int32_t pitch, velocity;
    if (bytecast_pair(argc, argv, pitch, velocity))
        midi::send_bytes(x->x_obj.ob_outlet, bytecast_status(x, midi::note_on), pitch, velocity);
}

static void bytecast_polytouch(t_bytecast *x, t_symbol *, int argc, t_atom *argv) {
    std::int32_t pressure, pitch;
    if (bytecast_pair(argc, argv, pressure, pitch))
        midi::send_bytes(x->x_obj.ob_outlet, bytecast_status(x, midi::polytouch), pitch, pressure);
}

static void bytecast_controller(t_bytecast *x, t_symbol *, int argc, t_atom *argv) {
    std::int32_t value, number;
    if (bytecast_pair(argc, argv, value, number))
        midi::send_bytes(x->x_obj.ob_outlet, bytecast_status(x, midi::control), number, value);
}

static void bytecast_program(t_bytecast *x, t_floatarg f) {
    midi::send_bytes(x->x_obj.ob_outlet, bytecast_status(x, midi::program), midi::to_int(f));
}

static void bytecast_touch(t_bytecast *x, t_floatarg f) {
    midi::send_bytes(x->x_obj.ob_outlet, bytecast_status(x, midi::touch), midi::to_int(f));
}

// 7-bit form: the value is the MSB, the LSB goes out as 0.
static void bytecast_bend(t_bytecast *x, t_floatarg f) {
    midi::send_bytes(x->x_obj.ob_outlet, bytecast_status(x, midi::bend), 0, midi::to_int(f));
}

MIDI_SETUP bytecast_setup() {
    bytecast_class = class_new(gensym("bytecast"), reinterpret_cast<t_newmethod>(bytecast_new), nullptr,
                               sizeof(t_bytecast), 0, A_DEFFLOAT, A_NULL);
    class_addlist(bytecast_class, reinterpret_cast<t_method>(bytecast_note));
    class_addmethod(bytecast_class, reinterpret_cast<t_method>(bytecast_polytouch), gensym("lst1"), A_GIMME,
                    A_NULL);
    class_addmethod(bytecast_class, reinterpret_cast<t_method>(bytecast_controller), gensym("lst2"), A_GIMME,
                    A_NULL);
    class_addmethod(bytecast_class, reinterpret_cast<t_method>(bytecast_program), gensym("ft3"), A_FLOAT, A_NULL);
    class_addmethod(bytecast_class, reinterpret_cast<t_method>(bytecast_touch), gensym("ft4"), A_FLOAT, A_NULL);
    class_addmethod(bytecast_class, reinterpret_cast<t_method>(bytecast_bend), gensym("ft5"), A_FLOAT, A_NULL);
}
