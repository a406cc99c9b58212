// unpack~: floats and lists are queued in a ring of samples and played out,
// one value per sample, in the blocks that follow; an empty queue plays 0.
#include "vesk.h"

static t_class *unpack_class;

// The largest capacity a creation argument can ask for: 2^24 samples (64 MB,
// about six minutes at 44.1 kHz). Larger requests are cut to it.
static constexpr int unpack_maxcapacity = 1 << 24;

struct t_unpack {
    t_object x_obj;
    t_sample *buffer;  // the ring, zero-filled on allocation; played slots hold 0
    int rp;            // where the next block starts (a multiple of the block size)
    int wp;            // the slot that takes the next queued value
    int bufsize;       // capacity in samples (0 only if allocation failed)
    int full;          // set when a value lands on the last free slot: wp == rp
};

static void unpack_alloc(t_unpack *x, int size) {
    x->buffer = static_cast<t_sample *>(getbytes(sizeof(t_sample) * static_cast<size_t>(size)));
    x->bufsize = x->buffer ? size : 0;
    x->rp = x->wp = 0;
    x->full = 0;
}

static void unpack_release(t_unpack *x) {
    if (x->buffer)
        freebytes(x->buffer, sizeof(t_sample) * static_cast<size_t>(x->bufsize));
    x->buffer = nullptr;
    x->bufsize = 0;
}

// The requested capacity rounded up to a multiple of 64. Nothing, 0, and
// anything that truncates to -64 or below (no ring could hold it) give 64.
static int unpack_capacity(t_floatarg f) {
    int k = tessel::trunc_sat<int>(f, 0);
    if (k <= -64 || k == 0)
        return 64;
    if (k >= unpack_maxcapacity)
        return unpack_maxcapacity;
    return k % 64 == 0 ? k : (k / 64 + 1) * 64;
}

static void *unpack_new(t_floatarg f) {
    t_unpack *x = reinterpret_cast<t_unpack *>(pd_new(unpack_class));
    unpack_alloc(x, unpack_capacity(f));
    outlet_new(&x->x_obj, &s_signal);
    return x;
}

static void unpack_free(t_unpack *x) {
    unpack_release(x);
}

// Queues one value. The value after the last waiting one is dropped when the
// ring is full: either the slot after wp is rp, or wp has come round onto rp
// (possible only while rp is at the ring start). Nothing waiting is ever
// overwritten.
static void unpack_queue(t_unpack *x, t_sample v) {
    if (x->full || !x->buffer || x->wp + 1 == x->rp)
        return;
    x->buffer[x->wp] = v;
    if (++x->wp == x->bufsize)
        x->wp = 0;
    x->full = x->wp == x->rp;
}

static void unpack_float(t_unpack *x, t_floatarg f) {
    unpack_queue(x, f);
}

static void unpack_list(t_unpack *x, t_symbol *, int argc, t_atom *argv) {
    for (int i = 0; i < argc; i++)
        unpack_queue(x, atom_getfloat(argv + i));  // a symbol queues 0
}

static VESK_KERNEL void unpack_perform(t_sample *out, t_unpack *x, t_int n) {
    if (!x->buffer) {
        for (t_int i = 0; i < n; i++)
            out[i] = 0;
        return;
    }
    int old = x->rp;
    // A short queue ends inside this block: what is queued next starts with
    // the next block. A full ring is never short (wp == rp means all waits).
    bool isshort = !x->full && x->wp >= old && x->wp < old + n;
    x->rp = old + static_cast<int>(n);
    if (x->rp == x->bufsize)
        x->rp = 0;
    if (isshort)
        x->wp = x->rp;
    x->full = 0;
    t_sample *ring = x->buffer + old;
    for (t_int i = 0; i < n; i++) {
        out[i] = ring[i];
        ring[i] = 0;
    }
}

static void unpack_dsp(t_unpack *x, t_signal **sp) {
    int n = sp[0]->s_n;
    if (!x->buffer || x->bufsize % n) {
        // the next multiple of n above the old capacity; queued values are lost
        int old = x->buffer ? x->bufsize : 64;
        unpack_release(x);
        unpack_alloc(x, n * (old / n + 1));
    } else if (x->rp % n) {
        // The capacity suits the new block size but the read position does not
        // (capacity 128, rp 96, new block 64): a block read would run past the
        // ring's end. Turn the ring so the queue starts at slot 0; every value
        // waiting keeps its place in the order.
        vesk::rotate(x->buffer, x->bufsize, x->rp);
        x->wp = (x->wp - x->rp + x->bufsize) % x->bufsize;
        x->rp = 0;
    }
    vesk::add<unpack_perform>(sp[0]->s_vec, x, static_cast<t_int>(n));
}

static void unpack_helper() {
    post("unpack~\t:: outputs a sequence of floats as a signal");
}

VESK_SETUP unpack_tilde_setup() {
    unpack_class = class_new(gensym("unpack~"), reinterpret_cast<t_newmethod>(unpack_new),
                             reinterpret_cast<t_method>(unpack_free), sizeof(t_unpack), 0, A_DEFFLOAT, A_NULL);
    vesk::dsp_method(unpack_class, unpack_dsp);
    class_doaddfloat(unpack_class, reinterpret_cast<t_method>(unpack_float));
    class_addlist(unpack_class, reinterpret_cast<t_method>(unpack_list));
    vesk::help_method(unpack_class, unpack_helper);
    vesk_register("unpack~");
}
