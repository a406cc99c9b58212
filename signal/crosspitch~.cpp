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
// constant: a block is read in chunks, and each chunk in groups of 16
// samples, each first asked side by side whether it holds a sample where a
// crossing can be (a positive sample after one that is not positive); only
// a group that does is looked at sample by sample, and only those samples
// are worked one by one; the rest of the output is the estimate. Every
// sample a chunk needs is read before the output in its place is written,
// since the host may hand the output the input's own buffer.
static constexpr t_int crosspitch_chunk = 256;
static constexpr t_int crosspitch_group = 16;

// c + 1 + 1 + ... (d ones), each sum rounded to double as the running count
// of one sample after another is: within a binade every sum is exact, so
// only the step that crosses into the next one rounds.
// One step per binade; the general form, for counts from 2^51 on (beyond
// 2^53 a count no longer moves by 1).
static double crosspitch_count_binades(double c, t_int d) {  // c from 1 on
    while (d > 0) {
        int e;
        __builtin_frexp(c, &e);  // c in [2^(e-1), 2^e)
        if (e > 53) {
            // a step of 2 or more: c + 1 is c again, or at a step of 2 a tie
            // that rounds to the even neighbour (once: from there it stays)
            if (e == 54 && (__builtin_bit_cast(std::uint64_t, c) & 1))
                c += 2;
            break;
        }
        double room = __builtin_ldexp(1.0, e) - c;  // exact: c is at least half of 2^e
        auto k = static_cast<std::int64_t>(__builtin_ceil(room)) - 1;  // steps that stay below 2^e
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

// The same sum in integers, as a crossing needs it (a few instructions a
// binade): from 1 on, c is its integer part ip and a fraction f in units of
// 2^-52, exact while c < 2^52. Counting up to the next power of two 2^e is
// exact; reaching it doubles the step from 2^(e-1) units, of which f is a
// multiple, to 2^e: f is then exact or halfway, and a tie goes to the even
// neighbour, as the double sum does. f may so reach 2^52, a whole 1; the
// count stays exact, and as f has no fraction left no later step rounds.
static double crosspitch_count(double c, t_int d) {
    for (; d > 0 && c < 1; d--)
        c += 1;
    if (d <= 0 || !(c < 0x1p51))
        return crosspitch_count_binades(c, d);
    auto ip = static_cast<std::int64_t>(c);
    auto f = static_cast<std::uint64_t>((c - static_cast<double>(ip)) * 0x1p52);
    int e = 64 - __builtin_clzll(static_cast<std::uint64_t>(ip));  // ip in [2^(e-1), 2^e)
    for (; e < 52; e++) {
        std::int64_t steps = (std::int64_t(1) << e) - ip;
        if (steps > d) {  // the rest stays in this binade: exact
            ip += d;
            d = 0;
            break;
        }
        ip += steps;
        d -= static_cast<t_int>(steps);
        std::uint64_t half = std::uint64_t(1) << (e - 1);
        if (f & half)
            f = f & (half << 1) ? f + half : f - half;
    }
    c = static_cast<double>(ip) + static_cast<double>(f) * 0x1p-52;  // exact: the count itself
    return crosspitch_count_binades(c, d);
}

// Whether a crossing can be at v: a positive sample after one that is not
// (after 0, a negative or a NaN).
template <class T>
static VESK_KERNEL int crosspitch_rise(T before, t_sample v) {
    return (v > 0) & !(before > 0);
}

// Whether p[1..n-1] holds such a sample: no branch, so that it is computed
// side by side.
static VESK_KERNEL int crosspitch_any(const t_sample *p, t_int n) {
    int any = 0;
#pragma GCC unroll 1  // kept a loop, so that it is vectorised rather than unrolled
    for (t_int i = 1; i < n; i++)
        any |= crosspitch_rise(p[i - 1], p[i]);
    return any;
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
        // the chunk's last sample that is not 0, read before any output:
        // mostly the last one; else looked for side by side (a silent input
        // is read whole)
        t_int last = m - 1;
        if (!(p[last] != 0)) {
            int lastat = -1;
#pragma GCC unroll 1
            for (int i = 0; i < static_cast<int>(m); i++) {
                int k = p[i] != 0 ? i : -1;
                lastat = k > lastat ? k : lastat;
            }
            last = lastat;
        }
        double lastv = last >= 0 ? static_cast<double>(p[last]) : 0;
        double before = prev, beforegap = gap;  // what precedes the chunk
        // outputs are written up to the last candidate, not including it:
        // every sample from there on is still the input where the two share
        // a buffer, and the last candidate, positive, ends the search back
        // from the next one
        t_int from = 0;
        for (t_int g = 0; g < m; g += crosspitch_group) {
            t_int e = m - g < crosspitch_group ? m - g : crosspitch_group;
            const t_sample *q = p + g;
            // a group after the first is asked together with the sample
            // before it, a full one in a loop of fixed length (the fastest
            // to ask, and most groups are full); the first, with the number
            // before the chunk
            bool full = g != 0 && e == crosspitch_group;
            if (full && !crosspitch_any(q - 1, crosspitch_group + 1))
                continue;
            auto word = static_cast<std::uint32_t>(crosspitch_rise(g != 0 ? static_cast<double>(q[-1]) : before, q[0]));
            if (!full && !(word | crosspitch_any(q, e)))
                continue;
            for (t_int i = 1; i < e; i++)
                word |= static_cast<std::uint32_t>(crosspitch_rise(q[i - 1], q[i])) << i;
            while (word) {
                t_int j = g + __builtin_ctz(word);
                word &= word - 1;
                double v = p[j];
                // the number before v that is not 0, and how far back: in
                // this chunk (at the last candidate at the latest), or before
                // it
                t_int k = j - 1;
                while (k >= 0 && !(p[k] != 0))
                    k--;
                double pv = k >= 0 ? static_cast<double>(p[k]) : before;
                for (t_int i = from; i < j; i++)
                    o[i] = static_cast<t_sample>(estimate);
                from = j;
                if (pv < 0) {  // v is positive
                    double gg = k >= 0 ? static_cast<double>(j - k) : beforegap + static_cast<double>(j);
                    double r = 1 / (v - pv);
                    double after = v * r * gg;  // from the crossing to v, within [0, gg]
                    if (after != after)         // v = +inf: the crossing is at pv
                        after = pv == -__builtin_inf() ? 0.5 * gg : gg;
                    double count = crosspitch_count(count0, at + j - ref);
                    double period = count - after;  // never above the count, so a count of 0 or less gives sr
                    estimate = period > 0 ? sr / period : sr;
                    count0 = after;
                    ref = at + j;
                }
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
