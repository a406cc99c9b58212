"""The per-sample loops of the signal kernels are vectorised by the compiler
(checked with the compiler's own optimisation report), and each of the
routines the kernels choose between (by block length, delay and number of
steps) gives the same samples in the host."""
import math
import random
import os
import re
import shlex
import subprocess
import unittest

from bench import FLOATSIZE, TARGET, SignalCase, block, run
from test_transforms import quantize, swap

SRC = os.environ.get("TESSEL_SOURCE_DIR", os.path.join(os.path.dirname(__file__), ".."))

VESK_LOOPS = ["for (t_int i = 0; i < n; i++)", "for (; n > 0; n -= 8"]  # vesk::map, vesk::map8

# source file -> lines (by the first text they contain) whose loop must be
# vectorised; the loops of vesk::map and vesk::map8 count as lines of vesk.h
KERNELS = {
    "signal/sgn~.cpp": [("vesk.h", t) for t in VESK_LOOPS],
    "signal/rectify~.cpp": ["for (t_int i = 0; i < n; i++)"],
    # power-of-two steps through map/map8; the double precision loop
    "signal/quantize~.cpp": [("vesk.h", t) for t in VESK_LOOPS] + ["for (t_int i = 0; i < n; i++)"],
    "signal/swap~.cpp": [("vesk.h", t) for t in VESK_LOOPS],
    # a long line in runs; a short delay's line copied out and in
    "signal/z~.cpp": ["for (t_int j = 0; j < len; j++)", "for (t_int j = 0; j < first; j++)",
                      "for (t_int j = first; j < d; j++)"],
    "signal/halfturn~.cpp": ["for (t_int i = 0; i < h; i++)"],
    "signal/retro~.cpp": ["for (t_int i = 0; i < h; i++)"],
    "signal/route~.cpp": ["for (t_int i = 0; i < n; i++)"],
}


# Loops that a target's compiler cannot vectorise, with the reason: they
# are checked to stay scalar there, so that the list cannot go stale.
MAP, MAP8 = VESK_LOOPS
NEON32 = ("NEON on 32-bit arm does no IEEE float arithmetic (subnormal numbers read as 0), so GCC does not "
          "vectorise float arithmetic there; integer and moving loops are")
SCALAR = {
    ("linux-armv7-32", "signal/quantize~.cpp", "quantize~.cpp", MAP): NEON32,
    ("linux-armv7-32", "signal/quantize~.cpp", "vesk.h", MAP): NEON32,
    ("linux-armv7-32", "signal/quantize~.cpp", "vesk.h", MAP8): NEON32,
    ("linux-armv7-32", "signal/swap~.cpp", "vesk.h", MAP): NEON32,
    ("linux-armv7-32", "signal/swap~.cpp", "vesk.h", MAP8): NEON32,
}


def report(path):
    flags = shlex.split(os.environ.get("TESSEL_CXXFLAGS", "-O3 -fno-exceptions -fno-rtti -fno-trapping-math"))
    cmd = [os.environ.get("TESSEL_CXX", "g++"), "-std=c++20"] + flags + [
           "-DPD_FLOATSIZE=%d" % FLOATSIZE, "-fopt-info-vec-optimized", "-I", os.environ.get("PD_INCLUDE_DIR", "/usr/include/pd"),
           "-I", os.path.join(SRC, "common"), "-c", os.path.join(SRC, path), "-o", os.devnull]
    out = subprocess.run(cmd, capture_output=True, text=True, check=True).stderr
    return {(os.path.basename(f), int(l)) for f, l in re.findall(r"([^\s:]+):(\d+):\d+: optimized: loop vectorized", out)}


def line_of(path, text):
    with open(os.path.join(SRC, path)) as f:
        src = f.read()
    i = src.index(text)
    return src.count("\n", 0, i) + 1


class VectorisedTest(unittest.TestCase):
    def test_kernels_vectorised(self):
        for path, loops in KERNELS.items():
            with self.subTest(source=path):
                vec = report(path)
                for loop in loops:
                    where, text = loop if isinstance(loop, tuple) else (os.path.basename(path), loop)
                    found = (where, line_of(os.path.join("signal", where), text)) in vec
                    if (TARGET, path, where, text) in SCALAR:
                        self.assertFalse(found, "vectorised now: drop it from SCALAR (%s)" % text)
                    else:
                        self.assertTrue(found, "%s: %s" % (where, text))



def delayed(d, count):
    """The ramp 1, 2, ... delayed by d samples."""
    return [0.0] * min(d, count) + [1.0 + i for i in range(max(0, count - d))]


_RNG = random.Random(11)
RANDOM_VALUES = [round(_RNG.uniform(-2, 2) * (i % 7) / 3, 6) for i in range(500)]


class RoutinesTest(SignalCase):
    def test_delay_routines(self):
        # 1: one by one below 16 samples a block, moved as a whole above;
        # 2..15: one by one; 16..64 shorter than the block: moved as a whole;
        # longer: in runs, with one or more wraps round the line per block
        for d in (1, 2, 15, 16, 17, 63, 64, 65, 200):
            for n in (8, 16, 128):
                blocks = max(4, 4 * n // 64)
                for separate in (False, True):
                    with self.subTest(delay=d, block=n, separate=separate):
                        r = run("f: feed~ ramp 1\nz: z~ %d\n%s\nf -> z ~> out" % (
                            d, "f ~> ref" if separate else ""), block=n, blocks=blocks)
                        self.assertSame(r.inplace("out"), not separate)
                        self.assertSame(" ".join(r["out"]).split(), block(delayed(d, 64 * blocks)).split())

    def test_delay_routine_changes_with_the_block_size(self):
        # a line left part way round by one routine is read on by the next:
        # 8 (one by one), 128 (moved as a whole), 16, 1, 64
        for d in (5, 20, 40):
            with self.subTest(delay=d):
                r = run("""
                    f: feed~ ramp 1
                    z: z~ %d
                    f -> z ~> out
                    @1 block set 128
                    @1 pd dsp 1
                    @5 block set 16
                    @5 pd dsp 1
                    @6 block set 1
                    @6 pd dsp 1
                    @7 block set 64
                    @7 pd dsp 1
                """ % d, block=8, blocks=9)
                got = [float(v) for v in " ".join(r["out"]).split()]
                # the ramp runs on through every change; so does the line
                self.assertSame(len(got), 64 * 9)
                self.assertSame(got, [float(v) for v in block(delayed(d, 64 * 9)).split()])

    def test_power_of_two_steps(self):
        # the single precision routine: saturation at 2^31 exactly, negative
        # numbers of steps, the smallest and largest normal steps; 3 and 12
        # take the long double and double routines; blocks of 8 and 4 take
        # map8 and map
        values = [2.0, 1.9999998807907104, -2.0, -1.9999998807907104, 0.99999994, -0.99999994, 0.5, -0.3,
                  1e-30, -1e-30, 3e38, -3e38, 0.0, -0.0, math.nan, math.inf, -math.inf, 1.5, -1.5, 7.0]
        text = " ".join({0.0: "0", -0.0: "=-0"}.get(v, repr(v)) if not math.isnan(v) else "=nan"
                        for v in values).replace("inf", "=inf").replace("-=inf", "=-inf")
        for q in (2.0 ** 30, -2.0 ** 30, 2.0 ** 126, -128.0, 0.5, 2.0 ** -20, 3.0, 12.0):
            for n in (8, 4):
                with self.subTest(q=q, block=n):
                    r = run("f: feed~ %s\nq: quantize~ %r\nf -> q ~> out" % (text, q), block=n, blocks=1)
                    got = " ".join(r["out"]).split()[:len(values)]
                    self.assertSame(got, block(quantize(v, q) for v in values).split())

    def test_power_of_two_steps_overflow(self):
        # 2^-126 steps: a step is 2^126, and a saturated sample, 2^31 steps,
        # is beyond the float range
        r = run("f: feed~ =inf =-inf 1e30 0.5\nq: quantize~ %r" % 2.0 ** -126 + "\nf -> q ~> out", block=4)
        self.assertSame(r["out"][0], block(quantize(v, 2.0 ** -126) for v in (math.inf, -math.inf, 1e30, 0.5)))
        if FLOATSIZE == 32:
            self.assertSame(r["out"][0], "inf -inf 0 0")

    def test_portable_and_wide_routines_agree_in_the_host(self):
        # the routines "dsp" chooses between on x86-64 (TESSEL_CPU=base forces
        # the portable one) give the same blocks for every signal class that
        # has per-sample work; elsewhere there is one routine and both runs
        # take it
        script = """
            f: feed~ %s
            q: quantize~
            q3: quantize~ 3
            s: swap~
            g: sgn~
            r: rectify~
            b: blockmean~
            c: crosspitch~
            h: halfturn~
            t: retro~
            z: z~ 100
            f -> q ~> q
            f -> q3 ~> q3
            f -> s ~> s
            f -> g ~> g
            f -> r ~> r
            r:1 ~> r1
            f -> b
            b => b
            f -> c ~> c
            f -> h ~> h
            f -> t ~> t
            f -> z ~> z
            @7 b bang
        """ % " ".join(repr(v) for v in RANDOM_VALUES)
        wide = run(script, blocks=8)
        base = run(script, blocks=8, env={"TESSEL_CPU": "base"})
        self.assertSame(wide.lines, base.lines)
        self.assertGreater(len(wide.lines), 80)

    def test_swap_routines(self):
        values = [0.99999994, -0.99999994, -1.0, 32767.5 / 32768, -32767.5 / 32768, 1 / 65536, -1 / 65536,
                  255 / 32768, -255 / 32768, 256 / 32768, -257 / 32768]
        text = " ".join(repr(v) for v in values)
        for n in (16, 8, 4, 2):
            with self.subTest(block=n):
                r = run("f: feed~ %s\ns: swap~\nf -> s ~> out" % text, block=n, blocks=1)
                got = " ".join(r["out"]).split()[:len(values)]
                self.assertSame(got, block(swap(v) for v in values).split())


if __name__ == "__main__":
    unittest.main()
