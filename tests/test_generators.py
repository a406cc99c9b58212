"""dirac~ and step~ in the host: positions and windows across blocks."""
import unittest

from bench import SignalCase, run


def flat(r):
    return [float(v) for v in " ".join(r["out"]).split()]


def window(count, start, length):
    return [1.0 if start <= i < start + length else 0.0 for i in range(count)]


class DiracTest(SignalCase):
    def test_positions_across_block_sizes(self):
        # plain routine below 8, unrolled from 8 on; positions count from the
        # first sample after the message, many blocks ahead
        for n in (1, 2, 4, 8, 64, 256, 2048):
            blocks = max(3, 2 * n // 64)
            for how, pos in (("dirac~ 70\n@0 d bang", 70), ("dirac~\n@0 d float 0", 0),
                             ("dirac~\n@0 d float 131", 131), ("dirac~ -5\n@0 d bang", 5)):
                with self.subTest(block=n, how=how):
                    r = run("d: " + how + "\nd ~> out", block=n, blocks=blocks)
                    self.assertSame(flat(r), window(64 * blocks, pos, 1))

    def test_silent_until_triggered(self):
        # a new object holds no impulse, whatever its argument
        for arg in ("", "0", "3"):
            with self.subTest(arg=arg):
                r = run("d: dirac~ %s\nd ~> out" % arg, block=64, blocks=2)
                self.assertSame(flat(r), [0.0] * 128)

    def test_nan_argument_stores_position_0(self):
        # a NaN argument cannot be typed into a box; a patch that creates the
        # object by message can pass one
        r = run("""
            @0 pd-case.pd obj 10 200 pd sub
            @0 pd-sub obj 10 10 dirac~ =nan
            @0 pd-sub obj 10 40 blocks~ out
            @0 pd-sub obj 10 70 r trigger
            @0 pd-sub connect 0 0 1 0
            @0 pd-sub connect 2 0 0 0
            @1 trigger bang
        """, blocks=3)
        self.assertSame(flat(r), [0.0] * 64 + window(128, 0, 1))

    def test_negative_and_nan_positions_disarm(self):
        for msgs in ("@0 d float -5\n@1 d bang", "@0 d float =nan\n@1 d bang", "@0 d float 3\n@0 d float -1",
                     "@0 d float =-inf\n@1 d bang", "@0 d float -1e30\n@1 d bang"):
            with self.subTest(msgs=msgs):
                r = run("d: dirac~ 2\nd ~> out\n" + msgs, block=64, blocks=3)
                self.assertSame(flat(r), [0.0] * 192)

    def test_one_impulse_pending_at_a_time(self):
        # two bangs give one impulse; a float replaces a pending bang
        r = run("""
            d: dirac~ 10
            d ~> out
            @0 d bang
            @0 d bang
            @1 d bang
            @1 d float 20
            @2 d bang
        """, block=64, blocks=3)
        self.assertSame(flat(r), window(64, 10, 1) + window(64, 20, 1) * 2)

    def test_pending_impulse_and_open_window_survive_dsp_rebuilds(self):
        # a rebuild at block 1 and another with a new block size at block 2
        r = run("""
            b: block~ 64
            d: dirac~ 150
            s: step~ 100
            d ~> out
            s ~> win
            @0 d bang
            @0 s float 40
            @1 pd dsp 1
            @2 b set 32
            @2 pd dsp 1
        """, blocks=4)
        self.assertSame(flat(r), window(256, 150, 1))
        self.assertSame([float(v) for v in " ".join(r["win"]).split()], window(256, 40, 100))


class StepTest(SignalCase):
    def test_windows_across_block_sizes(self):
        # also across a block boundary, more than a block ahead, and the unit step
        for n in (1, 2, 4, 8, 64, 256, 2048):
            blocks = max(3, 2 * n // 64)
            count = 64 * blocks
            for arg, msg, want in (("3", "float 2", window(count, 2, 3)), ("4", "float 62", window(count, 62, 4)),
                                   ("100", "float 70", window(count, 70, 100)), ("", "bang", [1.0] * count),
                                   ("0", "float 65", window(count, 65, count)), ("5", "help", [0.0] * count)):
                with self.subTest(block=n, arg=arg, msg=msg):
                    r = run("s: step~ %s\ns ~> out\n@0 s %s" % (arg, msg), block=n, blocks=blocks)
                    self.assertSame(flat(r), want)

    def test_positions_truncate_toward_zero(self):
        # 1 is the second sample; 1.9 truncates to it, 0.5 and -3 to the first
        for pos, start in (("1", 1), ("1.9", 1), ("0.5", 0), ("-3", 0)):
            with self.subTest(position=pos):
                r = run("s: step~ 3\ns ~> out\n@0 s float %s" % pos)
                self.assertSame(flat(r), window(64, start, 3))

    def test_unit_step_toggles_on_each_trigger(self):
        r = run("s: step~ 0\ns ~> out\n@0 s bang\n@1 s bang\n@2 s float 10", blocks=3)
        self.assertSame(flat(r), [1.0] * 64 + [0.0] * 74 + [1.0] * 54)

    def test_length_rules(self):
        # 2.7 gives a window of 2; negative, below 1 and NaN give the unit step
        for arg, msg, want in (("2.7", "", 2), ("1", "", 1), ("-3", "", 60), ("-0.5", "", 60), ("0.5", "", 60),
                               ("3", "@0 s:1 float =nan", 60), ("3", "@0 s:1 float 1e30", 60)):
            with self.subTest(length=arg, msg=msg):
                r = run("s: step~ %s\ns ~> out\n%s\n@0 s float 4" % (arg, msg))
                self.assertSame(flat(r), window(64, 4, want))

    def test_length_and_trigger_while_a_window_is_open(self):
        # a window of 10 opens at 60 and runs into the next block; length 5
        # arriving meanwhile waits for the next trigger; a bang reuses position 0
        r = run("s: step~ 10\ns ~> out\n@0 s float 60\n@1 s:1 float 5\n@2 s float 0\n@3 s bang", blocks=4)
        want = window(256, 60, 10)
        want[128:133] = want[192:197] = [1.0] * 5
        self.assertSame(flat(r), want)
        # a trigger at 84 while the level is 1 inverts it there and at its own
        # stop (184), which replaces the old one: the level is 1 after it
        r = run("s: step~ 100\ns ~> out\n@0 s float 10\n@1 s float 20", blocks=4)
        self.assertSame(flat(r), [0.0] * 10 + [1.0] * 74 + [0.0] * 100 + [1.0] * 72)

    def test_help_texts(self):
        r = run("d: dirac~\ns: step~\n@0 d help\n@0 s help")
        text = "\n".join(r.console)
        self.assertIn("\n@ dirac~-object :: generates a dirac (unity-pulse)\ncreation : \"dirac~ [<position>]\"", text)
        self.assertIn("\n@ step~-object :: generates a unity-step\n", text)


if __name__ == "__main__":
    unittest.main()
