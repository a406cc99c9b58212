"""silence~, blockmean~ and crosspitch~ in the host."""
import unittest

from bench import block, f32, run

SIZES = (1, 2, 4, 8, 64, 256, 2048)
SR = 44100


def blocks_for(n, count=2):
    return max(1, count * n // 64)


class SilenceTest(unittest.TestCase):
    def test_reports_only_changes_once_switched_on(self):
        r = run("""
            f: feed~ loop 1
            s: silence~
            f -> s
            s => o
            @2 s bang
            @4 f set 0
            @6 f set 0 0 0 0 0 0 0 7
            @7 f set loop 0
        """, blocks=9)
        # nothing while off; 1 after the bang; 0 once for a silent block; a
        # block with a single non-zero sample is non-zero
        self.assertEqual(r["o"], ["1", "0", "1", "0"])

    def test_switched_off_it_neither_scans_nor_forgets(self):
        r = run("""
            f: feed~ loop 1
            s: silence~
            f -> s
            s => o
            @0 s float 1
            @1 s off
            @2 f set loop 0
            @3 f set loop 2
            @4 s float =nan
            @5 s float 0
            @5 f set loop 0
            @7 s bang
        """, blocks=9)
        # the input went silent and came back while off: the state on again
        # equals the one last reported, so nothing is sent until it changes
        self.assertEqual(r["o"], ["1", "0"])

    def test_what_counts_as_zero(self):
        cases = (("=nan", "1"), ("=-nan", "1"), ("=inf", "1"), ("1e-30", "1"), ("=-0", None),
                 ("=x:00000001", None), ("=x:80000001", None))
        for value, want in cases:
            with self.subTest(value=value):
                r = run("""
                    f: feed~ 0 0 %s
                    s: silence~
                    f -> s
                    s => o
                    @0 s bang
                """ % value, block=4, blocks=1)
                self.assertEqual(r["o"], [want, "0"] if want else [])

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
                """, block=n, blocks=blocks_for(n, 2))
                # the report comes from inside the block that caused it: silence~
                # runs before the printer (the host sorts later connections
                # first), so each report precedes the print of its block
                seq = r.seq("ref", "o")
                first = 5 // n  # the block holding sample 5
                self.assertEqual([l for l in seq if l.startswith("o")], ["o: 1", "o: 0"])
                self.assertEqual(seq.index("o: 1"), first)
                self.assertEqual(seq.index("o: 0"), first + 2)


class BlockmeanTest(unittest.TestCase):
    def test_constant_and_nothing_twice(self):
        r = run("""
            f: feed~ loop 0.5
            b: blockmean~ 9
            f -> b
            b => o
            @10 b bang
            @10 b bang
        """, blocks=11)
        self.assertEqual(r["o"], ["0.5"])
        r = run("""
            b: blockmean~
            b => o
            @0 b bang
            @2 b bang
        """, dsp=False, blocks=3)
        self.assertEqual(r["o"], [])

    def test_mean_since_the_last_bang_across_block_sizes(self):
        for n in SIZES:
            with self.subTest(block=n):
                k = blocks_for(n, 1)  # one block of n (or 64/n blocks) per bang
                r = run("""
                    f: feed~ ramp 0
                    b: blockmean~
                    f -> b
                    b => o
                    @%d b bang
                    @%d b bang
                """ % (k, 3 * k), block=n, blocks=3 * k + 1)
                first = max(n, 64)  # samples computed before the first bang
                # samples 0..first-1, then first..3*first-1
                self.assertEqual(r["o"], ["%.9g" % ((first - 1) / 2), "%.9g" % ((first + 3 * first - 1) / 2)])

    def test_sum_survives_dsp_restart(self):
        r = run("""
            f: feed~ ramp 0
            b: blockmean~
            f -> b
            b => o
            @2 pd dsp 0
            @4 pd dsp 1
            @5 b bang
        """, blocks=6)
        self.assertEqual(r["o"], ["95.5"])  # samples 0..191: the ramp stops while DSP is off

    def test_block_size_change_between_bangs(self):
        # two blocks of 64 and one of 256, all ones: the mean is 1, whatever
        # the block size of the latest build
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


def estimate_stream(n_samples, values):
    return values + [values[-1]] * (n_samples - len(values))


class CrosspitchTest(unittest.TestCase):
    def test_midway_crossings(self):
        r = run("""
            f: feed~ loop -1 1
            c: crosspitch~
            f -> c ~> out
        """, block=8, blocks=1)
        self.assertEqual(r["out"][0], block([0, 2 * SR, 2 * SR, SR / 2, SR / 2, SR / 2, SR / 2, SR / 2]))
        r = run("""
            f: feed~ loop -1 1 1 -1
            c: crosspitch~
            f -> c ~> out
        """, block=8, blocks=1)
        self.assertEqual(r["out"][0], block([0, 2 * SR, 2 * SR, 2 * SR, 2 * SR, SR / 4, SR / 4, SR / 4]))

    def test_crossing_off_midway_reads_the_true_period(self):
        # -1, 3, 3, 3: the crossing lies a quarter sample after the -1; the
        # period is 4 samples, not 4.5
        for n in SIZES:
            with self.subTest(block=n):
                for separate in (False, True):
                    r = run("""
                        f: feed~ loop -1 3 3 3
                        c: crosspitch~
                        %s
                        f -> c ~> out
                    """ % ("f ~> ref" if separate else ""), block=n, blocks=blocks_for(n, 2))
                    self.assertEqual(r.inplace("out"), not separate)
                    got = [v for line in r["out"] for v in line.split()]
                    want = estimate_stream(len(got), [0, 4 * SR, 4 * SR, 4 * SR, 4 * SR, SR / 4])
                    self.assertEqual(" ".join(got), block(want))

    def test_zero_samples_and_infinities(self):
        # a crossing through an exact 0 is not one: the estimate stays
        r = run("""
            f: feed~ loop -1 1
            c: crosspitch~
            f -> c ~> out
            @1 f set loop -1 0 1
        """, block=64, blocks=3)
        self.assertEqual(r["out"][2], block([SR / 2] * 64))
        # an infinite sample puts the crossing at its negative neighbour and
        # does not spoil the estimates that follow
        r = run("""
            f: feed~ loop -1 =inf 1 1
            c: crosspitch~
            f -> c ~> out
        """, block=16, blocks=1)
        self.assertEqual(r["out"][1], block([SR / 4] * 16))

    def test_sine_from_osc_within_one_percent(self):
        for freq in (97.3, 440, 1000, 5512.5):
            for sr in (44100, 48000):
                with self.subTest(freq=freq, sr=sr):
                    r = run("""
                        o: osc~ %g
                        c: crosspitch~
                        o -> c ~> out
                    """ % freq, blocks=40, sr=sr)
                    est = [float(v) for v in r["out"][-1].split()]
                    for e in est:
                        self.assertLess(abs(e - f32(freq)) / freq, 0.01)


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
            "verbose(3): [%s] part of vesk-2.2.5.1wideset (compiled: Aug  8 2013)" % c
            for c in ("silence~", "blockmean~", "crosspitch~")])
        text = "\n".join(r.console)
        self.assertIn("\n\n@ silence~-object :: for detecting whether a signal is currently zero or not\n"
                      "'bang'\t: turn the detector on\n'off'\t: turn it off\n", text)
        self.assertIn("blockmean~\t\t:: outputs the arithmetic mean of a signal when triggered\n"
                      "<bang>\t\t:  triggers the output", text)
        self.assertIn("\n\n@ crosspitch~\t :: pitch-detector that counts zero-crossings\n\n", text)


if __name__ == "__main__":
    unittest.main()
