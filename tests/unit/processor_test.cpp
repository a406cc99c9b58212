// Host-free test of the processor check in signal/vesk.h: the routines for
// AVX2 and FMA are chosen only where the processor has both. No one machine
// has every combination, so each case sets the feature bits that the
// compiler's own check reads (libgcc's `__cpu_model`, filled by
// __builtin_cpu_init) in a child process of its own, as the choice is
// worked out once per module. GCC only: clang declares that record itself
// and does not take a second declaration of it.
#include <gtest/gtest.h>

#include "../../signal/vesk.h"

#if VESK_VARIANTS && defined(__linux__) && !defined(__clang__)
#include <sys/wait.h>
#include <unistd.h>

extern "C" struct tessel_cpu_model {
    unsigned vendor, type, subtype, features[1];
} __cpu_model;

// their places in the feature word, the same in every GCC since 4.8
constexpr unsigned feature_avx2 = 1u << 10, feature_fma = 1u << 14;

enum : int { as_expected = 0, wrong_choice = 1, other_layout = 2 };

static int processor_in_child(bool avx2, bool fma) {
    pid_t pid = fork();
    if (pid == 0) {
        unsetenv("TESSEL_CPU");
        __builtin_cpu_init();
        unsigned &f = __cpu_model.features[0];
        f = (f & ~(feature_avx2 | feature_fma)) | (avx2 ? feature_avx2 : 0) | (fma ? feature_fma : 0);
        if (!__builtin_cpu_supports("avx2") != !avx2 || !__builtin_cpu_supports("fma") != !fma)
            _exit(other_layout);
        bool wide = vesk::processor() == vesk::cpu::avx2;
        _exit(wide == (avx2 && fma) ? as_expected : wrong_choice);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

TEST(Processor, WideRoutinesOnlyWithBothAvx2AndFma) {
    for (int avx2 = 0; avx2 < 2; ++avx2)
        for (int fma = 0; fma < 2; ++fma) {
            int got = processor_in_child(avx2, fma);
            if (got == other_layout)
                GTEST_SKIP() << "this compiler's runtime keeps its processor features elsewhere";
            EXPECT_EQ(got, as_expected) << "avx2 " << avx2 << ", fma " << fma;
        }
}
#else
TEST(Processor, WideRoutinesOnlyWithBothAvx2AndFma) {
    GTEST_SKIP() << (VESK_VARIANTS ? "the processor features can be set only with GCC on Linux"
                                   : "one routine per kernel on this target");
}
#endif
