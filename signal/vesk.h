// vesk: the frame shared by the signal-library modules.
//
// Each module includes this header once. It gives the library banner, the
// declarations every signal class makes at setup (signal inlet, "dsp" that no
// typed message can reach, "help") and a typed way to hand a perform routine
// to the host: a routine is written as an ordinary function of its words,
// e.g. sgnTilde_perform(const t_sample *in, t_sample *out, t_int n), and
// vesk::add<sgnTilde_perform>(in, out, n) registers it with dsp_add.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <stdlib.h>
#include <string.h>
#include <type_traits>
#include <utility>

#include "m_pd.h"
#include "tessel/export.h"
#include "tessel/ieee.h"
#include "tessel/numeric.h"

#define VESK_VERSION "2.2.5.1wideset"
#define VESK_COMPILED "Aug  8 2013"

// The host exports its unrolled zeroing routine, but its header does not
// declare it.
extern "C" t_int *zero_perf8(t_int *w);

// Setup entries are the only symbols a module exports.
#define VESK_SETUP TESSEL_SETUP

// The two banner lines, posted last by every setup entry. They go through
// verbose() at level 0, which newer hosts keep but mark deprecated.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
static inline void vesk_register(const char *name, const char *compiled = VESK_COMPILED) {
    verbose(0, "[%s] part of vesk-%s (compiled: %s)", name, VESK_VERSION, compiled);
    verbose(0, "\tcopyright (c) 2026 the tessel developers; BSD 3-clause licence");
}
#pragma GCC diagnostic pop

// --- routines for the processor that runs the patch ------------------------
// Every perform routine registered through vesk::add is compiled twice on
// x86-64: for the processors every x86-64 has (SSE2), and for those with
// AVX2 and FMA (Intel from 2013, AMD from 2015), and "dsp" registers the one
// the processor running the patch can execute. Both give the same samples:
// the kernels are exact (no fused products, no reassociated sums), and the
// test suite compares them. TESSEL_CPU=base in the environment forces the
// first, for that comparison. On arm64 NEON is part of every processor, and
// there is one routine.
#if defined(__x86_64__)
#define VESK_VARIANTS 1
#define VESK_AVX2 __attribute__((target("avx2,fma")))
#else
#define VESK_VARIANTS 0
#endif

// A kernel: always inlined, so that each routine compiles it for its processor.
#define VESK_KERNEL inline __attribute__((always_inline))

namespace vesk {

enum class cpu : std::int32_t { base, avx2 };

// Worked out once per module, at the first "dsp".
inline cpu processor() {
    static int chosen = -1;
    if (chosen < 0) {
        chosen = 0;
#if VESK_VARIANTS
        __builtin_cpu_init();
        const char *force = getenv("TESSEL_CPU");
        if (!(force && !strcmp(force, "base")))
            chosen = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#endif
    }
    return static_cast<cpu>(chosen);
}

// Inlet 1 becomes a signal inlet without a float field.
inline void signal_inlet(t_class *c) {
    class_addmethod(c, reinterpret_cast<t_method>(nullfn), gensym("signal"), A_NULL);
}

// "dsp" is registered with A_CANT: only the host's DSP build can call it.
template <class T>
inline void dsp_method(t_class *c, void (*fn)(T *, t_signal **)) {
    class_addmethod(c, reinterpret_cast<t_method>(fn), gensym("dsp"), A_CANT, A_NULL);
}

inline void help_method(t_class *c, void (*fn)()) {
    class_addmethod(c, reinterpret_cast<t_method>(fn), gensym("help"), A_NULL);
}

// --- perform routines ------------------------------------------------------

template <class T>
inline T from_word(t_int w) {
    if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<T>(w);
    else
        return static_cast<T>(w);
}

template <class T>
inline t_int to_word(T v) {
    if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<t_int>(v);
    else
        return static_cast<t_int>(v);
}

template <class F>
struct routine;
template <class... A>
struct routine<void (*)(A...)> {
    static constexpr int words = sizeof...(A);
    template <auto Fn, std::size_t... I>
    VESK_KERNEL static void call(t_int *w, std::index_sequence<I...>) {
        Fn(from_word<A>(w[I + 1])...);
    }
    template <auto Fn>
    static void add(A... args) {
#if VESK_VARIANTS
        if (processor() == cpu::avx2) {
            dsp_add(perform_avx2<Fn>, words, to_word(args)...);
            return;
        }
#endif
        dsp_add(perform<Fn>, words, to_word(args)...);
    }
    // The entry the host calls: unpacks the words, returns the next entry.
    template <auto Fn>
    static t_int *perform(t_int *w) {
        call<Fn>(w, std::make_index_sequence<words>{});
        return w + words + 1;
    }
#if VESK_VARIANTS
    template <auto Fn>
    VESK_AVX2 static t_int *perform_avx2(t_int *w) {
        call<Fn>(w, std::make_index_sequence<words>{});
        return w + words + 1;
    }
#endif
};

// Registers Fn with dsp_add; the arguments become its words, in order.
template <auto Fn, class... Args>
inline void add(Args... args) {
    routine<decltype(Fn)>::template add<Fn>(args...);
}

// Registers Base, or on a processor with AVX2 and FMA Wide (the same kernel
// in the form that vectorises there), compiled for it. Both take the same
// words.
template <auto Base, auto Wide, class... Args>
inline void add_pair(Args... args) {
    static_assert(std::is_same_v<decltype(Base), decltype(Wide)>);
    using R = routine<decltype(Base)>;
#if VESK_VARIANTS
    if (processor() == cpu::avx2) {
        dsp_add(R::template perform_avx2<Wide>, R::words, to_word(args)...);
        return;
    }
#endif
    dsp_add(R::template perform<Base>, R::words, to_word(args)...);
}

// Registers the unrolled routine when the block length is a multiple of 8,
// the plain one otherwise. Both take the same words.
template <auto Plain, auto Unrolled, class... Args>
inline void add_choice(int n, Args... args) {
    static_assert(std::is_same_v<decltype(Plain), decltype(Unrolled)>);
    if ((n & 7) == 0)
        add<Unrolled>(args...);
    else
        add<Plain>(args...);
}

// A routine written on the raw words (entry 0 is the routine, entries 1 to k
// the words given here, in order; it returns the address of entry k + 1).
// For routines that hand part of their own argument array to one of the
// host's block routines, such as zero_perform.
template <class... Args>
inline void add_raw(t_perfroutine fn, Args... args) {
    dsp_add(fn, static_cast<int>(sizeof...(Args)), to_word(args)...);
}

// The same choice as add_choice, for raw routines.
template <class... Args>
inline void add_raw_choice(int n, t_perfroutine plain, t_perfroutine unrolled, Args... args) {
    add_raw((n & 7) == 0 ? unrolled : plain, args...);
}

// Copies a block; nothing to do when the host gave the output the input's
// own buffer.
inline void pass(const t_sample *in, t_sample *out, t_int n) {
    if (in != out)
        __builtin_memmove(out, in, static_cast<std::size_t>(n) * sizeof(t_sample));
}

// --- per-sample maps ---------------------------------------------------------
// out[i] = f(in[i]) for a block. Each input sample is read before the output at
// its index is written, so in and out may be the same buffer.
template <class F>
VESK_KERNEL void map(const t_sample *in, t_sample *out, t_int n, F f) {
    for (t_int i = 0; i < n; i++) {
        t_sample x = in[i];
        out[i] = f(x);
    }
}

// The same in groups of 8 (n a multiple of 8): a group is read whole before
// it is written, which lets the compiler use vector registers without a
// run-time check for overlapping buffers.
template <class F>
VESK_KERNEL void map8(const t_sample *in, t_sample *out, t_int n, F f) {
    for (; n > 0; n -= 8, in += 8, out += 8) {
        t_sample x[8];
        for (int j = 0; j < 8; j++)
            x[j] = in[j];
        for (int j = 0; j < 8; j++)
            out[j] = f(x[j]);
    }
}

// Turns a[0..size) in place so that slot `by` becomes slot 0 (three
// reversals; no scratch buffer).
inline void rotate(t_sample *a, t_int size, t_int by) {
    auto reverse = [a](t_int lo, t_int hi) {
        for (hi--; lo < hi; lo++, hi--) {
            t_sample t = a[lo];
            a[lo] = a[hi];
            a[hi] = t;
        }
    };
    reverse(0, by);
    reverse(by, size);
    reverse(0, size);
}

// The sign of a sample (1, -1, or +0 for zeros and NaN), from its bits.
inline t_sample sign(t_sample x) {
    return tessel::sign(x);
}

}  // namespace vesk
