"""silence~, blockmean~ and crosspitch~ in the host."""
import math
import random
import unittest

from bench import block, fmt, run, tf

SIZES = (1, 2, 4, 8, 64, 256, 2048)
SR = 44100


def ticks(n, count=2):  # top-level blocks that run `count` blocks of n
    return max(1, count * n // 64)


class SilenceTest(unittest.TestCase):
    def test_reports_only_changes_while_on(self):
        r = run("""
            f: feed~ loop 1
            s: silence~
            f -> s
            s => o
            @2 s bang
            @4 f set 0
            @6 f set 0 0 0 0 0 0 0 7
            @7 s off
            @8 f set loop 0
            @9 f set loop 2
            @10 s float =nan
            @11 s float 0
            @11 f set loop 0
            @13 s float 3
        """, blocks=15)
        # nothing before the bang; one non-zero sample makes a block non-zero;
        # while off the input went silent and came back, so nothing is sent
        # on again until the state differs from the one last reported
        self.assertEqual(r["o"], ["1", "0", "1", "0"])

    def test_what_counts_as_zero(self):
        r = run("""
            f: feed~ 0 0 0 =nan =-0 =tiny =-tiny 0 0 1e-30 0 0 0 0 0 0 =-inf
            s: silence~
            f -> s
            s => o
            @0 s bang
        """, block=4, blocks=1)
        # NaN, 1e-30 and -inf are non-zero; -0 and subnormals are zero
        self.assertEqual(r["o"], ["1", "0", "1", "0", "1", "0"])

    def test_every_block_size(self):
        for n in SIZES:
            with self.subTest(block=n):
                r = run("""
                    f: feed~ 0 0 0 0 0 -3
                    s: silence~
                    f ~> ref
                    f -> s
                    s => o
                    @0 s bang
                """, block=n, blocks=ticks(n))
                # sent from inside the block: silence~ runs before the printer
                seq = r.seq("ref", "o")
                first = 5 // n  # the block holding sample 5
                self.assertEqual([l for l in seq if l.startswith("o")], ["o: 1", "o: 0"])
                self.assertEqual((seq.index("o: 1"), seq.index("o: 0")), (first, first + 2))


class BlockmeanTest(unittest.TestCase):
    def test_mean_since_the_last_bang_across_block_sizes(self):
        for n in SIZES:
            with self.subTest(block=n):
                k = ticks(n, 1)
                r = run("""
                    f: feed~ ramp 0
                    b: blockmean~ 9
                    f -> b
                    b => o
                    @%d b bang
                    @%d b bang
                    @%d b bang
                """ % (k, k, 3 * k), block=n, blocks=3 * k + 1)
                m = max(n, 64)  # samples 0..m-1, nothing, then m..3m-1
                self.assertEqual(r["o"], ["%.9g" % ((m - 1) / 2), "%.9g" % ((4 * m - 1) / 2)])

    def test_sum_in_order_where_lanes_would_round(self):
        # 1e20 + 1 loses the 1 in a double: the block is summed in order
        # (1e20 + 1 - 1e20 + 1 = 1), not in lanes, which would give 0
        r = run("""
            f: feed~ 1e20 1 -1e20 1
            b: blockmean~
            f -> b
            b => o
            @1 b bang
        """, blocks=2)
        self.assertEqual(r["o"], [fmt(1 / 64)])

    def test_dsp_restart_and_block_size_change(self):
        r = run("""
            b: blockmean~
            b => o
            @0 b bang
        """, dsp=False)
        self.assertEqual(r["o"], [])
        # the sum survives DSP off and on (the ramp stops meanwhile)
        r = run("""
            f: feed~ ramp 0
            b: blockmean~
            f -> b
            b => o
            @2 pd dsp 0
            @4 pd dsp 1
            @5 b bang
        """, blocks=6)
        self.assertEqual(r["o"], ["95.5"])
        # two blocks of 64 and one of 256, all ones: the mean is 1
        r = run("""
            bl: block~ 64
            f: feed~ loop 1
            b: blockmean~
            f -> b
            b => o
            @2 bl set 256
            @2 pd dsp 1
            @6 b bang
        """, blocks=7)
        self.assertEqual(r["o"], ["1"])

    def test_bang_from_downstream_does_not_recurse(self):
        r = run("""
            f: feed~ loop 2
            b: blockmean~
            k: bang
            f -> b
            b -> k
            k -> b
            b => o
            @1 b bang
            @2 b bang
        """, blocks=3)
        self.assertEqual(r["o"], ["2", "2"])


def crosspitch_model(values, n):
    """crosspitch~'s output, one sample after another, its state stored in
    the host's precision at the end of every block of n."""
    prev = count = estimate = 0.0
    gap = 1.0
    out = []
    for i, v in enumerate(values):
        if v != 0:
            if prev * v < 0 and v > prev:
                g = 1 / (v - prev)
                after = v * g * gap
                if after != after:
                    after = 0.5 * gap if prev == -math.inf else gap
                period = count - after
                estimate = SR / period if count > 0 and period > 0 else SR
                count = after
            prev, gap = v, 0.0
        out.append(estimate)
        gap += 1
        count += 1
        if (i + 1) % n == 0:
            prev, count, estimate, gap = tf(prev), tf(count), tf(estimate), tf(gap)
    return out


class CrosspitchTest(unittest.TestCase):
    def test_midway_crossings(self):
        for pattern, want in (("-1 1", [0, 2 * SR, 2 * SR] + [SR / 2] * 5),
                              ("-1 1 1 -1", [0] + [2 * SR] * 4 + [SR / 4] * 3)):
            r = run("""
                f: feed~ loop %s
                c: crosspitch~
                f -> c ~> out
            """ % pattern, block=8)
            self.assertEqual(r["out"][0], block(want))

    def test_crossing_off_midway_reads_the_true_period(self):
        # -1, 3, 3, 3: the crossing lies a quarter sample after the -1; the
        # period is 4 samples (sr/4), not 4.5
        for n in SIZES:
            for separate in (False, True):
                with self.subTest(block=n, separate=separate):
                    r = run("""
                        f: feed~ loop -1 3 3 3
                        c: crosspitch~
                        %s
                        f -> c ~> out
                    """ % ("f ~> ref" if separate else ""), block=n, blocks=ticks(n))
                    self.assertEqual(r.inplace("out"), not separate)
                    got = " ".join(r["out"]).split()
                    want = [0] + [4 * SR] * 4 + [SR / 4] * (len(got) - 5)
                    self.assertEqual(" ".join(got), block(want))

    def test_crossings_through_exact_zeros(self):
        # samples of exactly 0 between a negative and a positive one are the
        # line's way across, not a crossing of their own: the crossing lies
        # where the straight line from the last negative to the first
        # positive sample meets 0 (-0 counts as 0)
        for pattern, period in (("-0.7 0 0.7 0", 4),        # a sine that meets 0 on a sample
                                ("-1 0 0 0 3 3 3 3", 8),     # crossing at 1 of the 4 samples' way
                                ("-1 =-0 1", 3),
                                ("1 0 0 -1 -1 0 1 1", 8),    # falling through zeros: no crossing
                                ("-1 1", 2)):                # neighbours as before
            with self.subTest(pattern=pattern):
                r = run("f: feed~ loop %s\nc: crosspitch~\nf -> c ~> out" % pattern, blocks=3)
                self.assertEqual(r["out"][2], block([SR / period] * 64))

    def test_zero_run_across_blocks(self):
        # -1, 100 zeros, 3: the crossing lies 101/4 samples after the -1; a
        # second such cycle reads the whole cycle's length (202 samples)
        cycle = "-1 " + "0 " * 100 + "3 " + "0 " * 100
        for n in (1, 8, 64):
            with self.subTest(block=n):
                r = run("f: feed~ loop %s\nc: crosspitch~\nf -> c ~> out" % cycle, block=n, blocks=8)
                got = " ".join(r["out"]).split()
                self.assertEqual(got[450:470], block([SR / 202] * 20).split())

    def test_first_positive_after_creation_is_no_crossing(self):
        # nothing came before the first number: a rise from silence at the
        # start is no crossing, and the first one counts from creation
        r = run("""
            f: feed~ 0 0 0 1 1 -1 -1 1 1
            c: crosspitch~
            f -> c ~> out
        """, blocks=1)
        self.assertEqual(r["out"][0], block([0] * 7 + [SR / 6.5] * 57))

    def test_nan_never_starts_a_crossing(self):
        # a NaN is not 0: a crossing from it, with or without zeros, is none
        r = run("""
            f: feed~ loop -1 1
            c: crosspitch~
            f -> c ~> out
            @1 f set loop -1 0 =nan 0 1 1
            @3 f set loop -1 1 1 1
        """, blocks=5)
        self.assertEqual(r["out"][2], block([SR / 2] * 64))
        self.assertEqual(r["out"][4], block([SR / 4] * 64))

    def test_infinities(self):
        # an infinite sample puts the crossing at its finite neighbour and
        # does not spoil the estimates that follow
        r = run("""
            g: feed~ loop -1 =inf 1 1
            d: crosspitch~
            h: feed~ loop -1 0 =inf 1
            e: crosspitch~
            g -> d ~> inf
            h -> e ~> gap
        """, blocks=3)
        self.assertEqual(r["inf"][2], block([SR / 4] * 64))
        self.assertEqual(r["gap"][2], block([SR / 4] * 64))
        # the first crossing on the second sample after creation, at the
        # first one: no time since the count started, so the estimate is sr
        self.assertEqual(r["inf"][0], block([0] + [SR] * 4 + [SR / 4] * 59))
        # from -inf to +inf the crossing is midway, three samples apart here
        # (at 4.5 of each cycle of 8; from the -1 to +inf, at the -1)
        r = run("f: feed~ loop -1 =inf 1 =-inf 0 0 =inf 1\nc: crosspitch~\nf -> c ~> out", blocks=3)
        self.assertEqual(r["out"][2], block(([SR / 4.5] + [SR / 3.5] * 5 + [SR / 4.5] * 2) * 8))

    def test_looking_back_past_outputs_in_place(self):
        # where the output has the input's buffer, a search back for the
        # number before a crossing reads no output written in place of the
        # input: here a NaN and then a positive sample, each no crossing,
        # after a negative block, with 0 written for them while the estimate
        # is still 0; the crossing from the -1 is the first
        for separate in (False, True):
            with self.subTest(separate=separate):
                r = run("""
                    f: feed~ loop -1
                    c: crosspitch~
                    %s
                    f -> c ~> out
                    @1 f set loop =nan 1 0 1 -1 0 0 1
                """ % ("f ~> ref" if separate else ""), blocks=2)
                self.assertEqual(r.inplace("out"), not separate)
                self.assertEqual(r["out"][1], block([0] * 7 + [SR / 69.5] * 8 + [SR / 8] * 49))

    def test_random_signals_follow_the_sample_by_sample_rule(self):
        # the rule worked one sample after another (the state kept between
        # blocks in the host's precision), against the object's block-wise
        # scan, on signals with runs of zeros, NaN and infinities
        rng = random.Random(7)
        values = []
        while len(values) < 3000:
            kind = rng.random()
            if kind < 0.1:
                values += [0.0] * rng.randint(1, 40)
            elif kind < 0.12:
                values.append(rng.choice([math.nan, math.inf, -math.inf]))
            else:
                values += [tf(rng.uniform(-1, 1) * 10 ** rng.randint(-3, 3)) for _ in range(rng.randint(1, 30))]
        # and a crossing just after a sample of -2^-52: the count then starts
        # a hair below 2, where the first carry into the next binade rounds up
        values = ([-2.0 ** -52] + [1.0] * 20 + [-1.0] * 3) * 2 + values[:3000 - 48]
        text = " ".join("=nan" if math.isnan(v) else "=inf" if v == math.inf else "=-inf" if v == -math.inf
                        else repr(v) for v in values)
        for n in (1, 8, 64, 256, 512):
            for separate in (False, True):
                with self.subTest(block=n, separate=separate):
                    r = run("f: feed~ %s\nc: crosspitch~\n%s\nf -> c ~> out" % (
                        text, "f ~> ref" if separate else ""), block=n, blocks=max(1, 3072 // 64))
                    got = " ".join(r["out"]).split()[:3000]
                    self.assertEqual(got, block(crosspitch_model(values, n)).split())

    def test_quantized_audio(self):
        # a quiet sine truncated to 8 bits has runs of zeros around every
        # crossing
        for freq in (100, 441):
            with self.subTest(freq=freq):
                r = run("""
                    o: osc~ %g
                    m: *~ 0.05
                    q: quantize~ 128
                    c: crosspitch~
                    o -> m -> q -> c ~> out
                    q ~> raw
                """ % freq, blocks=60)
                self.assertIn(fmt(0), " ".join(r["raw"][1:]).split())
                worst = max(abs(float(e) - freq) for e in r["out"][-1].split())
                self.assertLess(worst / freq, 0.01)

    def test_sine_from_osc_within_one_percent(self):
        for freq in (97.3, 440, 1000, 5512.5):
            for sr in (44100, 48000):
                with self.subTest(freq=freq, sr=sr):
                    r = run("""
                        o: osc~ %g
                        c: crosspitch~
                        o -> c ~> out
                    """ % freq, blocks=40, sr=sr)
                    worst = max(abs(float(e) - tf(freq)) for e in r["out"][-1].split())
                    self.assertLess(worst / freq, 0.01)


class FrameTest(unittest.TestCase):
    def test_banners_and_help(self):
        r = run("""
            s: silence~
            b: blockmean~
            c: crosspitch~
            @0 s help
            @0 b help
            @0 c help
        """)
        self.assertEqual(r.banners()[0::2], [
            "[%s] part of vesk-2.2.5.1wideset (compiled: Aug  8 2013)" % c
            for c in ("silence~", "blockmean~", "crosspitch~")])
        text = "\n".join(r.console)
        for part in ("\n\n@ silence~-object :: for detecting whether a signal is currently zero or not\n"
                     "'bang'\t: turn the detector on\n'off'\t: turn it off\n",
                     "blockmean~\t\t:: outputs the arithmetic mean of a signal when triggered\n"
                     "<bang>\t\t:  triggers the output",
                     "\n\n@ crosspitch~\t :: pitch-detector that counts zero-crossings\n\n"
                     "outputs a frequency estimate as a stream~ that will be updated every zero-X\n\n"
                     "creation::\t'crosspitch~': that's all"):
            self.assertIn(part, text)


if __name__ == "__main__":
    unittest.main()
