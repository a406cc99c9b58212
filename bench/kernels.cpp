// Kernel micro-benchmarks (Google Benchmark), outside the host.
//
// The class sources are compiled in whole so that their own perform routines
// are measured; their setup entries are never called. Inputs are random
// signs (a branchy loop cannot be flattered by branch prediction), with and
// without NaNs, in blocks of 64 and 8, separate and in place.
//   cmake --build build --target tessel_kernels && build/tessel_kernels
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "../signal/quantize~.cpp"
#include "../signal/rectify~.cpp"
#include "../signal/sgn~.cpp"
#include "../signal/swap~.cpp"

namespace {

std::vector<t_sample> input(std::size_t n, bool nans) {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    std::vector<t_sample> v(n);
    for (auto &x : v)
        x = (nans && rng() % 8 == 0) ? NAN : d(rng);
    return v;
}

// state.range(0): block size; range(1): 1 with NaNs; range(2): 1 in place.
template <class Run>
void block_bench(benchmark::State &state, Run run) {
    const auto n = static_cast<t_int>(state.range(0));
    const auto src = input(static_cast<std::size_t>(n), state.range(1) != 0);
    std::vector<t_sample> in = src, out(static_cast<std::size_t>(n));
    t_sample *o = state.range(2) ? in.data() : out.data();
    for (auto _ : state) {
        if (state.range(2))
            in = src;  // in place: start from the same samples every time
        run(in.data(), o, n);
        benchmark::DoNotOptimize(o);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_sgn(benchmark::State &s) {
    block_bench(s, [](const t_sample *in, t_sample *out, t_int n) {
        (n & 7) ? sgnTilde_perform(in, out, n) : sgnTilde_perform8(in, out, n);
    });
}

void BM_rectify(benchmark::State &s) {
    std::vector<t_sample> sign(static_cast<std::size_t>(s.range(0)));
    block_bench(s, [&](const t_sample *in, t_sample *out, t_int n) { rectify_perform(in, out, sign.data(), n); });
}

void BM_quantize16(benchmark::State &s) {
    t_quantize x{};
    quantize_set(&x, 32768);
    block_bench(s, [&](const t_sample *in, t_sample *out, t_int n) {
        (n & 7) ? quantize_perform<false>(&x, in, out, n) : quantize_perform<true>(&x, in, out, n);
    });
}

void BM_quantize100(benchmark::State &s) {  // not a power of two: the wider routine
    t_quantize x{};
    quantize_set(&x, 100);
    block_bench(s, [&](const t_sample *in, t_sample *out, t_int n) { quantize_perform<false>(&x, in, out, n); });
}

void BM_swap(benchmark::State &s) {
    t_swap x{};
    x.swapper = 1;
    block_bench(s, [&](const t_sample *in, t_sample *out, t_int n) {
        (n & 7) ? swap_perform(&x, in, out, n) : swap_perform8(&x, in, out, n);
    });
}

void args(benchmark::internal::Benchmark *b) {
    for (int n : {64, 8})
        for (int nans : {0, 1})
            for (int inplace : {0, 1})
                b->Args({n, nans, inplace});
    b->ArgNames({"n", "nan", "inplace"});
}

}  // namespace

BENCHMARK(BM_sgn)->Apply(args);
BENCHMARK(BM_rectify)->Apply(args);
BENCHMARK(BM_quantize16)->Apply(args);
BENCHMARK(BM_quantize100)->Apply(args);
BENCHMARK(BM_swap)->Apply(args);
BENCHMARK_MAIN();
