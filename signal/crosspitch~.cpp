// crosspitch~: estimates the frequency of a signal from the distance between
// its rising zero crossings; the estimate is a signal, updated at each one.
#include "vesk.h"

static t_class *crosspitch_class;

struct t_crosspitch {
    t_object x_obj;
    t_sample freq;       // the current estimate in Hz
    t_sample alt;        // the last input sample that was not 0 (0 before the first)
    t_sample sampcount;  // samples since the last rising crossing, with its fraction
    t_sample sr;         // the sample rate read at creation
    t_sample gap;        // samples from alt to the next input sample
};

static void *crosspitch_new() {
    t_crosspitch *x = reinterpret_cast<t_crosspitch *>(pd_new(crosspitch_class));
    outlet_new(&x->x_obj, &s_signal);
    x->sr = sys_getsr();
    x->gap = 1;
    return x;
}

// A rising crossing lies between a negative sample prev and a positive x,
// with only samples of exactly 0 between them (gap samples apart: 1 for
// neighbours), at the fraction x * g * gap of a sample before x
// (g = 1 / (x - prev)), where the straight line between them meets zero. A
// run of zeros is the line's own crossing, not a crossing of their own, as in
// quiet 16-bit audio and in sines that meet 0 on a sample. count holds the
// distance from the previous crossing to x, so the distance between the two
// crossings, the period, is count - x * g * gap. A NaN is not 0: it becomes
// prev, and no crossing starts from it.
//
// Crossings are rare (one a period), and between them the estimate is a
// constant: a block is read in chunks, each first scanned side by side for
// the samples where a crossing can be (a positive sample after one that is
// not positive), and only those are worked one by one; the rest of the
// output is the estimate. Every sample a chunk needs is read before any
// output of the chunk is written, since the host may hand the output the
// input's own buffer.
static constexpr t_int crosspitch_chunk = 256;

// c + 1 + 1 + ... (d ones), each sum rounded to double as the running count
// of one sample after another is: within a binade every sum is exact, so
// only the step that crosses into the next one (or leaves [0, 1)) rounds.
static double crosspitch_count(double c, t_int d) {
    while (d > 0) {
        if (c < 1) {
            c += 1;
            d--;
            continue;
        }
        int e;
        __builtin_frexp(c, &e);                   // c in [2^(e-1), 2^e)
        double room = __builtin_ldexp(1.0, e) - c;  // exact: c is at least half of 2^e
        auto k = static_cast<t_int>(__builtin_ceil(room)) - 1;  // steps that stay below 2^e
        if (k >= d) {
            c += static_cast<double>(d);
            break;
        }
        c += static_cast<double>(k);
        c += 1;
        d -= k + 1;
    }
    return c;
}

static VESK_KERNEL void crosspitch_perform(const t_sample *in, t_sample *out, t_int n, t_crosspitch *x) {
    double prev = x->alt, estimate = x->freq, gap = x->gap;
    const double sr = x->sr;
    double count0 = x->sampcount;  // the count at sample `ref`
    t_int ref = 0;
    for (t_int at = 0; at < n; at += crosspitch_chunk) {
        t_int m = n - at < crosspitch_chunk ? n - at : crosspitch_chunk;
        const t_sample *p = in + at;
        t_sample *o = out + at;
        alignas(8) std::uint8_t maybe[crosspitch_chunk + 8];
        // a positive sample after one that is not: after 0, a negative or a
        // NaN (the first sample after the last number that was not 0)
        maybe[0] = (p[0] > 0) & !(prev > 0);
        for (t_int i = 1; i < m; i++)
            maybe[i] = (p[i] > 0) & !(p[i - 1] > 0);
        for (t_int i = m; i < ((m + 7) & ~t_int(7)); i++)
            maybe[i] = 0;
        // the chunk's last sample that is not 0, read before any output
        t_int last = m - 1;
        while (last >= 0 && !(p[last] != 0))
            last--;
        double lastv = last >= 0 ? static_cast<double>(p[last]) : 0;
        double before = prev, beforegap = gap;  // what precedes the chunk
        double held = 0;                        // the last candidate's sample, once it is overwritten
        t_int from = 0, heldat = -1;
        for (t_int w = 0; w < m; w += 8) {
            std::uint64_t word;
            __builtin_memcpy(&word, maybe + w, 8);
            while (word) {
                t_int j = w + __builtin_ctzll(word) / 8;
                word &= word - 1;
                double v = p[j];
                // the number before v that is not 0, and how far back: in
                // this chunk (the last candidate's sample is kept, since its
                // output may already stand in its place), or before it
                t_int k = j - 1;
                while (k > heldat && k >= 0 && !(p[k] != 0))
                    k--;
                double pv, g;
                if (k >= 0 && k == heldat)
                    pv = held, g = static_cast<double>(j - k);
                else if (k >= 0)
                    pv = p[k], g = static_cast<double>(j - k);
                else
                    pv = before, g = beforegap + static_cast<double>(j);
                for (t_int i = from; i < j; i++)
                    o[i] = static_cast<t_sample>(estimate);
                if (pv * v < 0 && v > pv) {
                    double gg = 1 / (v - pv);
                    double after = v * gg * g;  // from the crossing to v, within (0, g]
                    if (after != after)         // v = +inf: the crossing is at pv
                        after = pv == -__builtin_inf() ? 0.5 * g : g;
                    double count = crosspitch_count(count0, at + j - ref);
                    double period = count - after;
                    estimate = count > 0 && period > 0 ? sr / period : sr;
                    count0 = after;
                    ref = at + j;
                }
                held = v;
                heldat = j;
                o[j] = static_cast<t_sample>(estimate);
                from = j + 1;
            }
        }
        for (t_int i = from; i < m; i++)
            o[i] = static_cast<t_sample>(estimate);
        if (last >= 0)
            prev = lastv, gap = static_cast<double>(m - last);
        else
            gap += static_cast<double>(m);
    }
    x->alt = static_cast<t_sample>(prev);
    x->sampcount = static_cast<t_sample>(crosspitch_count(count0, n - ref));
    x->freq = static_cast<t_sample>(estimate);
    x->gap = static_cast<t_sample>(gap);
}

static void crosspitch_dsp(t_crosspitch *x, t_signal **sp) {
    vesk::add<crosspitch_perform>(static_cast<const t_sample *>(sp[0]->s_vec), sp[1]->s_vec,
                                  static_cast<t_int>(sp[0]->s_n), x);
}

static void crosspitch_helper() {
    post("\n%c crosspitch~\t :: pitch-detector that counts zero-crossings", 64);
    post("\noutputs a frequency estimate as a stream~ that will be updated every zero-X");
    post("\ncreation::\t'crosspitch~': that's all");
}

VESK_SETUP crosspitch_tilde_setup() {
    crosspitch_class = class_new(gensym("crosspitch~"), reinterpret_cast<t_newmethod>(crosspitch_new), nullptr,
                                 sizeof(t_crosspitch), 0, A_NULL);
    vesk::signal_inlet(crosspitch_class);
    vesk::dsp_method(crosspitch_class, crosspitch_dsp);
    vesk::help_method(crosspitch_class, crosspitch_helper);
    vesk_register("crosspitch~");
}
