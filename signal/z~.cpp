// z~: delays a signal by a whole number of samples.
//
// The line holds bufsize samples and delays by bufsize - 1. Setting a new
// delay replaces the line by a fresh all-zero one; the same delay keeps the
// line and its history.
#include "vesk.h"

static t_class *zNdelay_class;

// The longest delay: 2^24 samples (64 MB of line, about six minutes at
// 44.1 kHz). Anything longer, and anything the host cannot allocate, is
// refused and the old line kept.
static constexpr std::int32_t zNdelay_max = 1 << 24;

struct t_zNdelay {
    t_object x_obj;
    t_sample *buf;
    std::int32_t bufsize;  // at least 1; the delay is bufsize - 1
    std::int32_t phase;    // write position, used while bufsize is 3 or more
};

// Makes a new all-zero line of m samples; keeps the old one if that fails.
static bool zNdelay_resize(t_zNdelay *x, std::int32_t m) {
    t_sample *b = static_cast<t_sample *>(getbytes(static_cast<std::size_t>(m) * sizeof(t_sample)));
    if (!b)
        return false;
    if (x->buf)
        freebytes(x->buf, static_cast<std::size_t>(x->bufsize) * sizeof(t_sample));
    x->buf = b;
    x->bufsize = m;
    x->phase = 0;
    return true;
}

static void zdel_float(t_zNdelay *x, t_floatarg f) {
    // f + 1 in double, so that the sum is not rounded before the truncation;
    // NaN and everything below 1 give a line of 1 sample (no delay).
    double sum = static_cast<double>(f) + 1.0;
    if (sum != sum || sum < 1.0)
        sum = 1.0;
    if (sum >= static_cast<double>(zNdelay_max) + 2.0)
        return;  // longer than the longest delay (this covers +inf)
    std::int32_t m = tessel::trunc_sat<std::int32_t>(sum, 1);
    if (m != x->bufsize)
        zNdelay_resize(x, m);
}

static void *zNdelay_new(t_floatarg a) {
    t_zNdelay *x = reinterpret_cast<t_zNdelay *>(pd_new(zNdelay_class));
    // Below 1 (also NaN) and beyond the longest delay: a delay of 1.
    std::int32_t k = tessel::trunc_sat<std::int32_t>(a, 0);
    if (k < 1 || k > zNdelay_max)
        k = 1;
    if (!zNdelay_resize(x, k + 1) && !zNdelay_resize(x, 2)) {
        pd_free(&x->x_obj.ob_pd);
        return nullptr;
    }
    inlet_new(&x->x_obj, &x->x_obj.ob_pd, &s_float, gensym("ft1"));
    outlet_new(&x->x_obj, &s_signal);
    return x;
}

static void zNdelay_free(t_zNdelay *x) {
    if (x->buf)
        freebytes(x->buf, static_cast<std::size_t>(x->bufsize) * sizeof(t_sample));
}

// Delays shorter than zN_short (and than the block) move the block as a
// whole; see zN_perform for zN_long.
static constexpr std::int32_t zN_short = 64;
static constexpr t_int zN_long = 16;

// The line holds the last bufsize - 1 input samples, the oldest at phase + 1
// (taken round the end) and the newest at phase - 1; buf[phase] is the slot
// the next sample goes to. Every routine below leaves the line in that form,
// and reads each input sample before it writes the output at its index, so
// the host may hand the same buffer as input and output. zN_ring, zN_move and
// zN_runs are kept out of line, so that the others pay for none of the
// registers and stack they need.

// One sample by one, the wrap round the end of buf checked per sample.
static __attribute__((noinline)) void zN_ring(const t_sample *in, t_sample *out, t_zNdelay *x, t_int n) {
    std::int32_t size = x->bufsize, phase = x->phase;
    t_sample *buf = x->buf;
    for (t_int i = 0; i < n; i++) {
        buf[phase] = in[i];
        if (++phase == size)
            phase = 0;
        out[i] = buf[phase];
    }
    x->phase = phase;
}

// A delay of one sample (bufsize 2, the held sample in buf[0]).
static inline void zN_hold(const t_sample *in, t_sample *out, t_zNdelay *x, t_int n) {
    t_sample held = x->buf[0];
    for (t_int i = 0; i < n; i++) {
        t_sample v = in[i];
        out[i] = held;
        held = v;
    }
    x->buf[0] = held;
}

// The same in a longer block: in moved on by one sample, led by the held one.
static inline void zN_shift(const t_sample *in, t_sample *out, t_zNdelay *x, t_int n) {
    t_sample last = in[n - 1];
    t_sample held = x->buf[0];
    __builtin_memmove(out + 1, in, static_cast<std::size_t>(n - 1) * sizeof(t_sample));
    out[0] = held;
    x->buf[0] = last;
}

// A delay d shorter than the block and at most zN_short: out is the line's d
// samples followed by in moved on by d; the last d input samples become the
// line, from buf[0] on.
static __attribute__((noinline)) void zN_move(const t_sample *in, t_sample *out, t_zNdelay *x, t_int n) {
    std::int32_t size = x->bufsize, phase = x->phase;
    t_sample *buf = x->buf;
    t_int d = size - 1;
    t_sample tail[zN_short];
    for (t_int j = 0; j < d; j++)
        tail[j] = in[n - d + j];
    __builtin_memmove(out + d, in, static_cast<std::size_t>(n - d) * sizeof(t_sample));
    t_int first = size - 1 - phase;  // line samples before the end of buf
    for (t_int j = 0; j < first; j++)
        out[j] = buf[phase + 1 + j];
    for (t_int j = first; j < d; j++)
        out[j] = buf[j - first];
    for (t_int j = 0; j < d; j++)
        buf[j] = tail[j];
    x->phase = static_cast<std::int32_t>(d);
}

// A long line: write at phase, read at phase + 1. In runs where phase + 1
// does not reach the end of buf the reads lead the writes by one slot; each
// wrap round the end is one step of its own.
static __attribute__((noinline)) void zN_runs(const t_sample *in, t_sample *out, t_zNdelay *x, t_int n) {
    std::int32_t size = x->bufsize, phase = x->phase;
    t_sample *buf = x->buf;
    t_int i = 0;
    while (i < n) {
        t_int len = n - i < size - 1 - phase ? n - i : size - 1 - phase;
        const t_sample *src = in + i;
        t_sample *dst = out + i;
        t_sample *line = buf + phase;
        for (t_int j = 0; j < len; j++) {
            t_sample v = src[j];
            dst[j] = line[j + 1];
            line[j] = v;
        }
        i += len;
        phase += static_cast<std::int32_t>(len);
        if (i < n) {  // phase is size - 1
            t_sample v = in[i];
            buf[phase] = v;
            out[i] = buf[0];
            phase = 0;
            i++;
        }
    }
    x->phase = phase;
}

// Blocks of fewer than zN_long samples, and lines of at most zN_long, go
// sample by sample: the call that moves a run costs more than it saves there.
static VESK_KERNEL void zN_perform(const t_sample *in, t_sample *out, t_zNdelay *x, t_int n) {
    std::int32_t size = x->bufsize;
    if (size == 1)
        vesk::pass(in, out, n);
    else if (size == 2 && n < zN_long)
        zN_hold(in, out, x, n);
    else if (size == 2)
        zN_shift(in, out, x, n);
    else if (size - 1 < n && size - 1 <= zN_short && n >= zN_long)
        zN_move(in, out, x, n);
    else if (size <= zN_long)
        zN_ring(in, out, x, n);
    else
        zN_runs(in, out, x, n);
}

static void zNdelay_dsp(t_zNdelay *x, t_signal **sp) {
    vesk::add<zN_perform>(sp[0]->s_vec, sp[1]->s_vec, x, static_cast<t_int>(sp[0]->s_n));
}

static void zNdelay_helper() {
    post("\n%c z~\t:: samplewise delay", 64);
    post("creation :: 'z~ [<n>]' : creates a <n>-sample delay; default is 1");
}

VESK_SETUP z_tilde_setup() {
    zNdelay_class = class_new(gensym("z~"), reinterpret_cast<t_newmethod>(zNdelay_new),
                              reinterpret_cast<t_method>(zNdelay_free), sizeof(t_zNdelay), 0, A_DEFFLOAT,
                              A_NULL);
    vesk::signal_inlet(zNdelay_class);
    class_doaddfloat(zNdelay_class, reinterpret_cast<t_method>(zdel_float));
    class_addmethod(zNdelay_class, reinterpret_cast<t_method>(zdel_float), gensym("ft1"), A_FLOAT, A_NULL);
    vesk::dsp_method(zNdelay_class, zNdelay_dsp);
    vesk::help_method(zNdelay_class, zNdelay_helper);
    vesk_register("z~");
}
