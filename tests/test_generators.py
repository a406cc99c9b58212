"""dirac~ and step~ in the host: positions and windows across blocks."""
import unittest

from bench import block, run

SIZES = (1, 2, 4, 8, 64, 256, 2048)


def flat(r, name):
    return [float(v) for v in " ".join(r[name]).split()]


def window(count, start, length):
    return [1.0 if start <= i < start + length else 0.0 for i in range(count)]


class DiracTest(unittest.TestCase):
    def test_positions_across_block_sizes(self):
        # plain routine for 1, 2 and 4, unrolled from 8 on; the position is
        # counted from the first sample after the message, blocks apart
        for n in SIZES:
            blocks = max(3, 2 * n // 64)
            for how, pos in (("dirac~ 70\n@0 d bang", 70), ("dirac~\n@0 d float 0", 0),
                             ("dirac~\n@0 d float 131", 131), ("dirac~ -5\n@0 d bang", 5)):
                with self.subTest(block=n, how=how):
                    r = run("d: " + how + "\nd ~> out", block=n, blocks=blocks)
                    self.assertEqual(flat(r, "out"), window(64 * blocks, pos, 1))

    def test_position_70_in_blocks_of_64(self):
        r = run("""
            d: dirac~ 70
            d ~> out
            @1 d bang
        """, blocks=4)
        self.assertEqual(r["out"][:2], [block([0] * 64)] * 2)
        self.assertEqual(r["out"][2], block(window(64, 6, 1)))
        self.assertEqual(r["out"][3], block([0] * 64))

    def test_negative_and_nan_positions_disarm(self):
        for msgs in ("@0 d float -5\n@1 d bang", "@0 d float =nan\n@1 d bang", "@0 d float 3\n@0 d float -1"):
            with self.subTest(msgs=msgs):
                r = run("d: dirac~ 2\nd ~> out\n" + msgs, block=64, blocks=3)
                self.assertEqual(flat(r, "out"), [0.0] * 192)

    def test_one_impulse_pending_at_a_time(self):
        # two bangs: one impulse; a float replaces a pending bang; a bang
        # after the impulse fires again at the stored position
        r = run("""
            d: dirac~ 10
            d ~> out
            @0 d bang
            @0 d bang
            @1 d bang
            @1 d float 20
            @2 d bang
        """, block=64, blocks=3)
        want = window(192, 10, 1)
        want[64 + 20] = want[128 + 20] = 1.0
        self.assertEqual(flat(r, "out"), want)

    def test_help_text(self):
        r = run("d: dirac~\n@0 d help")
        text = "\n".join(r.console)
        self.assertIn("\n@ dirac~-object :: generates a dirac (unity-pulse)\ncreation : \"dirac~ [<position>]\"", text)
        self.assertIn("\t  'help'\t: view this\noutlet\t: signal~", text)


class StepTest(unittest.TestCase):
    def test_window_and_step_across_block_sizes(self):
        # windows counted from the first sample after the message, also across
        # block boundaries and more than a block ahead; length 0 is a unit step
        for n in SIZES:
            blocks = max(3, 2 * n // 64)
            count = 64 * blocks
            for how, want in (("step~ 3\n@0 s float 2", window(count, 2, 3)),
                              ("step~ 4\n@0 s float 62", window(count, 62, 4)),
                              ("step~ 100\n@0 s float 70", window(count, 70, 100)),
                              ("step~\n@0 s bang", [1.0] * count),
                              ("step~ 0\n@0 s float 65", window(count, 65, count))):
                with self.subTest(block=n, how=how):
                    r = run("s: step~\ns ~> out".replace("step~", how.split("\n")[0]) + "\n" +
                            how.split("\n")[1], block=n, blocks=blocks)
                    self.assertEqual(flat(r, "out"), want)

    def test_fresh_object_outputs_zero(self):
        r = run("s: step~ 5\ns ~> out", block=16, blocks=2)
        self.assertEqual(flat(r, "out"), [0.0] * 128)

    def test_unit_step_toggles_on_each_trigger(self):
        r = run("""
            s: step~ 0
            s ~> out
            @0 s bang
            @1 s bang
            @2 s float 10
        """, blocks=3)
        self.assertEqual(r["out"], [block([1] * 64), block([0] * 64), block([0] * 10 + [1] * 54)])

    def test_length_rules(self):
        # 2.7 gives a window of 2; negative and NaN lengths give the unit step
        for arg, want in (("2.7", window(64, 4, 2)), ("-3", window(64, 4, 60)), ("0.5", window(64, 4, 60))):
            with self.subTest(length=arg):
                r = run("s: step~ %s\ns ~> out\n@0 s float 4" % arg)
                self.assertEqual(flat(r, "out"), want)
        r = run("s: step~ 3\ns ~> out\n@0 s:1 float =nan\n@0 s float 4")
        self.assertEqual(flat(r, "out"), window(64, 4, 60))

    def test_new_length_waits_for_the_next_trigger(self):
        # a window of 10 opens at 60 and runs into the next block; length 5
        # arrives while it is open; the next trigger (position 0) opens a
        # window of 5, and a bang later opens another at the stored position 0
        r = run("""
            s: step~ 10
            s ~> out
            @0 s float 60
            @1 s:1 float 5
            @2 s float 0
            @3 s bang
        """, blocks=4)
        want = window(256, 60, 10)
        want[128:133] = want[192:197] = [1.0] * 5
        self.assertEqual(flat(r, "out"), want)

    def test_trigger_while_the_level_is_on(self):
        # a window of 100 opens at 10; a trigger at 20 of the next block
        # (sample 84) inverts the level there and again at its own stop
        # (184), which replaces the old one: so the level is 1 after it
        r = run("""
            s: step~ 100
            s ~> out
            @0 s float 10
            @1 s float 20
        """, blocks=4)
        self.assertEqual(flat(r, "out"), [0.0] * 10 + [1.0] * 74 + [0.0] * 100 + [1.0] * 72)

    def test_huge_positions_stay_silent(self):
        r = run("""
            s: step~ 1e30
            s ~> out
            @0 s float 1e30
        """, block=64, blocks=2)
        self.assertEqual(flat(r, "out"), [0.0] * 128)

    def test_help_text(self):
        r = run("s: step~\n@0 s help")
        self.assertIn("@ step~-object :: generates a unity-step", r.console)


if __name__ == "__main__":
    unittest.main()
