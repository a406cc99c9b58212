"""z~ in the host: delays within and beyond a block, run-time changes, bounds."""
import unittest

from bench import FLOATSIZE, SignalCase, block, run


def delayed(d, count):
    """The ramp 1, 2, ... delayed by d samples."""
    return [0.0] * min(d, count) + [1.0 + i for i in range(max(0, count - d))]


def flat(r):
    return " ".join(r["out"]).split()


class DelayTest(SignalCase):
    def test_delays_across_block_sizes_in_place_and_separate(self):
        # delays 0, 1 and 3 take paths of their own; 100 is longer than most blocks
        for n in (1, 2, 4, 8, 64, 256, 2048):
            blocks = max(2, 2 * n // 64)
            for arg, msg, d in (("", "", 1), ("3", "", 3), ("100", "", 100), ("5", "@0 z float 0", 0)):
                for separate in (False, True):
                    with self.subTest(block=n, delay=d, separate=separate):
                        r = run("f: feed~ ramp 1\nz: z~ %s\n%s\nf -> z ~> out\n%s" % (
                            arg, "f ~> ref" if separate else "", msg), block=n, blocks=blocks)
                        self.assertSame(r.inplace("out"), not separate)
                        self.assertSame(flat(r), block(delayed(d, 64 * blocks)).split())

    def test_creation_arguments(self):
        # below 1 and beyond the longest delay (2^24) give 1; fractions truncate
        for arg, d in (("0", 1), ("-4", 1), ("0.9", 1), ("2.9", 2), ("1e30", 1), ("16777216", 16777216)):
            with self.subTest(arg=arg):
                r = run("f: feed~ ramp 1\nz: z~ %s\nf -> z ~> out" % arg, block=8)
                self.assertSame(r["out"][0], block(delayed(d, 8)))

    def test_run_time_changes_on_either_inlet(self):
        # 4; then 5 on inlet 2 clears the history; 5.7 (the same line) keeps
        # it; NaN means no delay; 2.9 gives 2, from a silent line
        r = run("""
            f: feed~ ramp 1
            z: z~ 4
            f -> z ~> out
            @1 z:1 float 5
            @2 z float 5.7
            @3 z float =nan
            @4 z:1 float 2.9
        """, block=64, blocks=5)
        ramp = [[64 * b + 1 + i for i in range(64)] for b in range(5)]
        self.assertSame(r["out"], [block([0] * 4 + ramp[0][:60]), block([0] * 5 + ramp[1][:59]),
                                    block(ramp[1][59:] + ramp[2][:59]), block(ramp[3]),
                                    block([0, 0] + ramp[4][:62])])

    def test_run_time_delays_below_one_mean_none(self):
        # -0.5 and -3 give a line of one sample, as 0 does
        r = run("""
            f: feed~ ramp 1
            z: z~ 4
            f -> z ~> out
            @1 z float -0.5
            @2 z float 7
            @3 z:1 float -3
        """, block=64, blocks=4)
        ramp = [[64 * b + 1 + i for i in range(64)] for b in range(4)]
        self.assertSame(r["out"], [block([0] * 4 + ramp[0][:60]), block(ramp[1]), block([0] * 7 + ramp[2][:57]),
                                    block(ramp[3])])

    def test_delays_beyond_the_bound_are_refused(self):
        # 2^24 + 2 (the next float above 2^24), 1e30 and +inf: the line and its
        # history stay; 2^24, the longest delay, is taken (a silent line); a
        # host with 64-bit floats also has 2^24 + 1, the first refused
        r = run("""
            f: feed~ ramp 1
            z: z~ 3
            f -> z ~> out
            @1 z float 16777218
            @1 z:1 float 1e30
            @1 z float =inf
            %s
            @2 z float 16777216
        """ % ("@1 z float 16777217" if FLOATSIZE == 64 else ""), block=64, blocks=3)
        self.assertSame(r["out"][1:], [block(range(62, 126)), block([0] * 64)])

    def test_line_survives_dsp_restart_and_block_size_change(self):
        r = run("""
            b: block~ 64
            f: feed~ ramp 1
            z: z~ 100
            f -> z ~> out
            @2 pd dsp 0
            @3 b set 16
            @3 pd dsp 1
        """, blocks=5)
        self.assertSame(r.dsp("out"), ["dsp 64 fed", "dsp 16 fed"])
        self.assertSame(flat(r), block(delayed(100, 256)).split())

    def test_help_and_refused_dsp(self):
        r = run("z: z~\n@0 z help\n@0 z dsp", allow_errors=True)
        self.assertIn("\n\n@ z~\t:: samplewise delay\ncreation :: 'z~ [<n>]' : creates a <n>-sample delay; "
                      "default is 1", "\n".join(r.console))
        self.assertIn("error: bad arguments for message 'dsp' to object 'z~'", r.console)


if __name__ == "__main__":
    unittest.main()
