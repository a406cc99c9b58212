"""sgn~ and rectify~ in the host: values, block sizes, buffers, help, banner."""
import math
import unittest

from bench import TINY, block, run

SPECIAL = "0.5 -0.25 0 =-0 =nan =-nan =inf =-inf =tiny =-tiny 3e38 -1e-30"
SPECIAL_VALUES = [0.5, -0.25, 0.0, -0.0, math.nan, -math.nan, math.inf, -math.inf, TINY, -TINY, 3e38,
                  -1e-30]


def sign(x):
    return 1.0 if x > 0 else -1.0 if x < 0 else 0.0


class SgnTest(unittest.TestCase):
    def test_special_values(self):
        r = run("""
            f: feed~ %s
            s: sgn~
            f -> s ~> out
        """ % SPECIAL, block=16, blocks=1)
        self.assertEqual(r["out"][0], block(sign(x) for x in SPECIAL_VALUES + [0] * 4))
        self.assertEqual(r["out"][0].split()[2:6], ["0", "0", "0", "0"])  # +0, never -0

    def test_every_block_size_in_place_and_separate(self):
        # A ramp through negative, zero and positive values, over two blocks
        # (64 of 1, 2 of 1024). A second reader of the feed, wired first (the
        # host visits later connections first), keeps sgn~ from working in place.
        for n in (1, 2, 4, 8, 16, 64, 256, 1024):
            with self.subTest(block=n):
                blocks = max(1, 2 * n // 64)
                r = run("""
                    f: feed~ ramp -5
                    s: sgn~
                    f -> s ~> out
                """, block=n, blocks=blocks)
                self.assertTrue(r.inplace("out"))
                rs = run("""
                    f: feed~ ramp -5
                    s: sgn~
                    f ~> ref
                    f -> s ~> out
                """, block=n, blocks=blocks)
                self.assertFalse(rs.inplace("out"))
                values = [sign(-5 + i) for i in range(64 * blocks)]
                want = [block(values[i:i + n]) for i in range(0, len(values), n)]
                self.assertEqual(r["out"], want)
                self.assertEqual(rs["out"], want)

    def test_typed_dsp_message_is_refused(self):
        r = run("""
            f: feed~ -2 3
            s: sgn~
            f -> s ~> out
            @0 s dsp
            @0 s dsp 1 2
        """, block=2, blocks=1, allow_errors=True)
        self.assertEqual(r["out"], ["-1 1"] + ["0 0"] * 31)
        self.assertEqual(len(r.dsp("out")), 1)
        self.assertEqual([l for l in r.console if "dsp" in l],
                         ["error: bad arguments for message 'dsp' to object 'sgn~'"] * 2)

    def test_float_at_inlet_has_no_method(self):
        r = run("""
            s: sgn~
            s ~> out
            @0 s float 3
        """, block=4, allow_errors=True)
        self.assertEqual(r["out"], ["0 0 0 0"] * 16)
        self.assertIn("error: sgn~: no method for 'float'", r.console)


class RectifyTest(unittest.TestCase):
    def test_special_values(self):
        r = run("""
            f: feed~ %s
            q: rectify~
            f -> q
            q:0 ~> abs
            q:1 ~> sgn
        """ % SPECIAL, block=16)
        self.assertEqual(r["sgn"][0], block(sign(x) for x in SPECIAL_VALUES + [0] * 4))
        self.assertEqual(r["abs"][0], block(abs(x) for x in SPECIAL_VALUES + [0] * 4))
        self.assertEqual(r["abs"][0].split()[3:6], ["0", "nan", "nan"])  # sign bits cleared

    def test_each_outlet_may_share_the_input_buffer(self):
        for n, separate in ((1, False), (8, False), (64, False), (1024, False), (8, True), (64, True)):
            with self.subTest(block=n, separate=separate):
                r = run("""
                    f: feed~ ramp -3
                    q: rectify~
                    %s
                    f -> q
                    q:0 ~> abs
                    q:1 ~> sgn
                """ % ("f ~> ref" if separate else ""), block=n, blocks=max(1, n // 64))
                # exactly one of the outlets got the input's buffer, or none
                # when another object reads the input after rectify~
                self.assertEqual(r.inplace("abs") + r.inplace("sgn"), 0 if separate else 1)
                values = [-3 + i for i in range(n)]
                self.assertEqual(r["abs"][0], block(abs(v) for v in values))
                self.assertEqual(r["sgn"][0], block(sign(v) for v in values))
                self.assertEqual(len(r["abs"]), max(1, 64 // n))

    def test_float_is_constant_input_without_signal(self):
        r = run("""
            q: rectify~ 7
            q:0 ~> abs
            q:1 ~> sgn
            @1 q float -3
        """, block=4, blocks=2)
        # the creation argument is ignored: 0 until the float arrives after the
        # first 64 samples (16 blocks of 4)
        self.assertEqual(r["abs"][:16], ["0 0 0 0"] * 16)
        self.assertEqual(r["abs"][16:], ["3 3 3 3"] * 16)
        self.assertEqual(r["sgn"][16:], ["-1 -1 -1 -1"] * 16)


class FrameTest(unittest.TestCase):
    def test_banner_once_per_class_and_help(self):
        r = run("""
            a: sgn~
            b: sgn~
            c: rectify~
            d: sgn~ 5
            @0 a help
            @0 c help
        """)
        self.assertEqual(r.banners(), [
            "[sgn~] part of vesk-2.2.5.1wideset (compiled: Aug  8 2013)",
            "\tcopyright (c) 2026 the tessel developers; BSD 3-clause licence",
            "[rectify~] part of vesk-2.2.5.1wideset (compiled: Aug  8 2013)",
            "\tcopyright (c) 2026 the tessel developers; BSD 3-clause licence",
        ])
        text = "\n".join(r.console)
        self.assertEqual(r.console.count("@ sgn~ \t\t:: sign of a signal"), 1)
        self.assertIn("\n\n@ sgn~ \t\t:: sign of a signal\n", text)
        self.assertIn("\n\n@ rectify~ \t\t:: absolute value and sign of a signal\n", text)

    def test_help_symbol(self):
        r = run("""
            h: helpname help
            s: sgn~
            q: rectify~
            h -> s
            h -> q
            @0 h bang
        """)
        self.assertEqual(r["help"], ["sigmathops", "sigmathops"])


if __name__ == "__main__":
    unittest.main()
