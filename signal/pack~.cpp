// pack~: every signal block becomes one list of floats, sent from a clock
// right after the block was computed.
#include "vesk.h"

static t_class *pack_class;

struct t_pack {
    t_object x_obj;
    int vector_length;  // atoms in buffer: the block size of the last DSP build
    t_atom *buffer;     // reused for every block
    t_atom *sending;    // the buffer whose list is leaving, while it leaves
    t_clock *x_clock;   // fires pack_tick with zero delay after each block
};

static void pack_release(t_atom *buffer, int length) {
    freebytes(buffer, sizeof(t_atom) * static_cast<size_t>(length));
}

// The clock routine: the latest block leaves outside the DSP tick. A receiver
// may rebuild the DSP graph with another block size before the later
// receivers have read the list: the buffer they read is released only after
// the list has left.
static void pack_tick(t_pack *x) {
    t_atom *list = x->buffer;
    int length = x->vector_length;
    x->sending = list;
    outlet_list(x->x_obj.ob_outlet, &s_list, length, list);
    x->sending = nullptr;
    if (list != x->buffer)
        pack_release(list, length);
}

static void *pack_new(t_floatarg) {  // the argument is accepted, not used
    t_pack *x = reinterpret_cast<t_pack *>(pd_new(pack_class));
    x->vector_length = 0;
    x->buffer = nullptr;
    x->sending = nullptr;
    outlet_new(&x->x_obj, gensym("list"));
    x->x_clock = clock_new(x, reinterpret_cast<t_method>(pack_tick));
    return x;
}

static void pack_free(t_pack *x) {
    clock_free(x->x_clock);
    if (x->buffer)
        pack_release(x->buffer, x->vector_length);
}

static VESK_KERNEL void pack_perform(const t_sample *in, t_pack *x, t_int n) {
    t_atom *a = x->buffer;
    for (t_int i = 0; i < n; i++)
        a[i].a_w.w_float = in[i];  // every atom is already A_FLOAT (pack_dsp)
    clock_delay(x->x_clock, 0);
}

static void pack_dsp(t_pack *x, t_signal **sp) {
    int n = sp[0]->s_n;
    if (n != x->vector_length || !x->buffer) {
        if (x->buffer && x->buffer != x->sending)
            pack_release(x->buffer, x->vector_length);
        // A list still waiting belongs to the old block size and its buffer
        // is gone: it is not sent (the new buffer holds no computed block).
        clock_unset(x->x_clock);
        x->buffer = static_cast<t_atom *>(getbytes(sizeof(t_atom) * static_cast<size_t>(n)));
        x->vector_length = x->buffer ? n : 0;
        // getbytes zero-fills, which is not a float atom: type them once here.
        for (int i = 0; i < x->vector_length; i++)
            SETFLOAT(x->buffer + i, 0);
    }
    if (x->buffer)
        vesk::add<pack_perform>(static_cast<const t_sample *>(sp[0]->s_vec), x, static_cast<t_int>(n));
}

static void pack_helper() {
    post("pack~\t:: outputs the signal-vectors as float-packages");
}

VESK_SETUP pack_tilde_setup() {
    pack_class = class_new(gensym("pack~"), reinterpret_cast<t_newmethod>(pack_new),
                           reinterpret_cast<t_method>(pack_free), sizeof(t_pack), 0, A_DEFFLOAT, A_NULL);
    vesk::signal_inlet(pack_class);
    vesk::dsp_method(pack_class, pack_dsp);
    vesk::help_method(pack_class, pack_helper);
    vesk_register("pack~");
}
