// hushnotes: passes a MIDI byte stream through, counts the notes it holds per
// channel and key, and on bang releases every note still held.
#include "midibytes.h"

static t_class *hushnotes_class;

constexpr std::uint8_t hushnotes_none = 0xFF;  // no pending pitch

struct t_hushnotes {
    t_object x_obj;
    std::uint8_t x_kind;    // note_on or note_off while a note status is held, else 0
    std::uint8_t x_nibble;  // channel of the held note status
    std::uint8_t x_pitch;   // first data byte of the message in progress, or none
    midi::Counts<16 * 128> x_held;  // channel nibble * 128 + pitch
};

static void *hushnotes_new() {
    t_hushnotes *x = reinterpret_cast<t_hushnotes *>(pd_new(hushnotes_class));
    x->x_kind = 0;
    x->x_pitch = hushnotes_none;
    x->x_held.clear();
    outlet_new(&x->x_obj, &s_float);
    return x;
}

static void hushnotes_float(t_hushnotes *x, t_floatarg f) {
    std::int32_t v = midi::to_int(f);
    midi::Byte c = midi::classify(v);
    if (c == midi::Byte::below || c == midi::Byte::above) {
        x->x_pitch = hushnotes_none;
        return;
    }
    outlet_float(x->x_obj.ob_outlet, static_cast<t_float>(v));
    switch (c) {
    case midi::Byte::realtime:
        // A MIDI clock sends one of these every few milliseconds, between the
        // bytes of other messages: passed through and otherwise ignored, so
        // that the note around it is still counted.
        return;
    case midi::Byte::status:
    case midi::Byte::common: {
        std::uint8_t kind = static_cast<std::uint8_t>(v & 0xF0);
        if (kind == midi::note_on || kind == midi::note_off) {
            x->x_kind = kind;
            x->x_nibble = static_cast<std::uint8_t>(v & 0x0F);
        } else {
            x->x_kind = 0;
        }
        x->x_pitch = hushnotes_none;
        return;
    }
    default:
        break;
    }
    if (!x->x_kind)
        return;
    if (x->x_pitch == hushnotes_none) {
        x->x_pitch = static_cast<std::uint8_t>(v);
        return;
    }
    int key = x->x_nibble * 128 + x->x_pitch;
    if (x->x_kind == midi::note_on && v != 0)
        x->x_held.raise(key);
    else
        x->x_held.lower(key);
    x->x_pitch = hushnotes_none;
}

// Each held note is released as a note on with velocity 0 on its channel,
// channel 1 first, ascending by pitch.
static void hushnotes_bang(t_hushnotes *x) {
    x->x_held.drain([x](int key) {
        midi::send_bytes(x->x_obj.ob_outlet, midi::note_on + (key >> 7), key & 127, 0);
    });
}

static void hushnotes_clear(t_hushnotes *x) {
    x->x_held.clear();
}

MIDI_SETUP hushnotes_setup() {
    hushnotes_class = class_new(gensym("hushnotes"), reinterpret_cast<t_newmethod>(hushnotes_new), nullptr,
                                sizeof(t_hushnotes), 0, A_NULL);
    class_doaddfloat(hushnotes_class, reinterpret_cast<t_method>(hushnotes_float));
    class_addbang(hushnotes_class, reinterpret_cast<t_method>(hushnotes_bang));
    class_addmethod(hushnotes_class, reinterpret_cast<t_method>(hushnotes_clear), gensym("clear"), A_NULL);
}
