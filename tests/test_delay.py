"""z~ in the host: delays within and beyond a block, run-time changes, bounds."""
import unittest

from bench import block, run

SIZES = (1, 2, 4, 8, 64, 256, 2048)


def blocks_of(values, n):
    return [block(values[i:i + n]) for i in range(0, len(values), n)]


def delayed(d, count, start=1):
    """The ramp start, start+1, ... delayed by d samples."""
    return [0.0] * min(d, count) + [start + i for i in range(max(0, count - d))]


class DelayTest(unittest.TestCase):
    def test_delays_across_block_sizes_in_place_and_separate(self):
        # 0, 1, 3 (paths of their own) and 100 (longer than most blocks),
        # over two blocks or 128 samples, whichever is longer.
        for n in SIZES:
            blocks = max(2, 2 * n // 64)
            for arg, msg, d in (("", None, 1), ("3", None, 3), ("100", None, 100), ("5", "0", 0)):
                for separate in (False, True):
                    with self.subTest(block=n, delay=d, separate=separate):
                        r = run("""
                            f: feed~ ramp 1
                            z: z~ %s
                            %s
                            f -> z ~> out
                            %s
                        """ % (arg, "f ~> ref" if separate else "",
                               "@0 z float %s" % msg if msg else ""), block=n, blocks=blocks)
                        self.assertEqual(r.inplace("out"), not separate)
                        self.assertEqual(r["out"], blocks_of(delayed(d, 64 * blocks), n))

    def test_creation_arguments(self):
        # below 1 and beyond the longest delay give a delay of 1; a fraction
        # is truncated; 2^24 (the longest) is taken
        for arg, d in (("0", 1), ("-4", 1), ("0.9", 1), ("2.9", 2), ("1e30", 1), ("16777217", 16777216)):
            with self.subTest(arg=arg):
                r = run("""
                    f: feed~ ramp 1
                    z: z~ %s
                    f -> z ~> out
                """ % arg, block=8)
                self.assertEqual(r["out"][0], block(delayed(d, 8)))

    def test_run_time_changes_on_either_inlet(self):
        # creation 4; after block 1 (of 8 samples) the float 5 on inlet 2
        # clears the history; after block 2 the float 5.7 (the same length)
        # keeps it; after block 3 a negative float on inlet 1 passes through;
        # after block 4, 2.9 gives a delay of 2, starting from zeros.
        r = run("""
            f: feed~ ramp 1
            z: z~ 4
            f -> z ~> out
            @1 z:1 float 5
            @2 z float 5.7
            @3 z float -3
            @4 z:1 float 2.9
        """, block=64, blocks=5)
        ramp = [[64 * b + 1 + i for i in range(64)] for b in range(5)]
        self.assertEqual(r["out"][0], block([0] * 4 + ramp[0][:60]))
        self.assertEqual(r["out"][1], block([0] * 5 + ramp[1][:59]))
        self.assertEqual(r["out"][2], block(ramp[1][59:] + ramp[2][:59]))  # history kept
        self.assertEqual(r["out"][3], block(ramp[3]))
        self.assertEqual(r["out"][4], block([0, 0] + ramp[4][:62]))

    def test_nan_and_minus_infinity_mean_no_delay(self):
        for v in ("=nan", "=-inf", "-0.5"):
            with self.subTest(value=v):
                r = run("""
                    f: feed~ ramp 1
                    z: z~ 3
                    f -> z ~> out
                    @1 z float %s
                """ % v, block=64, blocks=2)
                self.assertEqual(r["out"][1], block(range(65, 129)))

    def test_delays_beyond_the_bound_are_refused(self):
        # 2^24 + 2 (the next float above 2^24), 1e30 and +inf do not fit: the
        # line and its history stay.
        # 2^24 itself is the longest delay and is taken (a fresh, silent line).
        r = run("""
            f: feed~ ramp 1
            z: z~ 3
            f -> z ~> out
            @1 z float 16777218
            @1 z:1 float 1e30
            @1 z float =inf
            @2 z float 16777216
        """, block=64, blocks=3)
        self.assertEqual(r["out"][1], block(range(62, 126)))
        self.assertEqual(r["out"][2], block([0] * 64))

    def test_line_survives_dsp_restart_and_block_size_change(self):
        # delay 100; DSP off for one block, on again with a block of 16:
        # the feed pauses with DSP, the line carries over untouched.
        r = run("""
            b: block~ 64
            f: feed~ ramp 1
            z: z~ 100
            f -> z ~> out
            @2 pd dsp 0
            @3 b set 16
            @3 pd dsp 1
        """, blocks=5)
        flat = " ".join(r["out"]).split()
        self.assertEqual(r.dsp("out"), ["dsp 64 fed", "dsp 16 fed"])
        self.assertEqual(flat, block(delayed(100, 256)).split())


class DelayFrameTest(unittest.TestCase):
    def test_help_and_refused_dsp(self):
        r = run("""
            f: feed~ 1 2 3
            z: z~ 1
            f -> z ~> out
            @0 z help
            @0 z dsp
        """, block=4, allow_errors=True)
        self.assertEqual(r["out"][0], "0 1 2 3")
        self.assertIn("\n\n@ z~\t:: samplewise delay\ncreation :: 'z~ [<n>]' : creates a <n>-sample delay; "
                      "default is 1", "\n".join(r.console))
        self.assertIn("error: bad arguments for message 'dsp' to object 'z~'", r.console)


if __name__ == "__main__":
    unittest.main()
