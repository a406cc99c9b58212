"""asin, acos, sinh, cosh, tanh in the host: values, clamping, stored result."""
import math
import unittest

from bench import f32, fmt, run

NAMES = ("asin", "acos", "sinh", "cosh", "tanh")


def results(cls, *inputs, arg=""):
    """What one [cls arg] sends for each input: a number, or 'bang'."""
    events = "\n".join("@0 m bang" if x == "bang" else "@0 m float %s" % x for x in inputs)
    r = run("""
        m: %s %s
        m => o
        %s
    """ % (cls, arg, events))
    return r["o"]


def near(text, want):
    """The printed float is `want` within a few single-precision steps."""
    return math.isclose(float(text), f32(want), rel_tol=4e-7, abs_tol=1e-37)


class UnaryMathTest(unittest.TestCase):
    def test_table_values(self):
        half_pi, pi = fmt(math.pi / 2), fmt(math.pi)
        self.assertEqual(results("asin", 2, -7, 1, -1, 0, "=-0"), [half_pi, "-" + half_pi, half_pi,
                                                                   "-" + half_pi, "0", "-0"])
        self.assertEqual(results("acos", 1, -1, 2, -7, 0), ["0", pi, "0", pi, half_pi])
        self.assertEqual(results("cosh", 0, 100, -100), ["1", "inf", "inf"])
        self.assertEqual(results("sinh", 0, "=-0", 100, -100), ["0", "-0", "inf", "-inf"])
        self.assertEqual(results("tanh", 0, "=-0", 100, -100), ["0", "-0", "1", "-1"])

    def test_ordinary_values_follow_the_function(self):
        funcs = {"asin": math.asin, "acos": math.acos, "sinh": math.sinh, "cosh": math.cosh,
                 "tanh": math.tanh}
        xs = (0.5, -0.3, 0.999, 1e-3, 3, -2.5, 89)
        for name, fn in funcs.items():
            with self.subTest(cls=name):
                got = results(name, *xs)
                for x, text in zip(xs, got):
                    clamped = max(-1.0, min(1.0, x)) if name in ("asin", "acos") else x
                    self.assertTrue(near(text, fn(f32(clamped))), (name, x, text))
                self.assertEqual(len(got), len(xs))

    def test_overflow_edge_of_sinh_and_cosh(self):
        # the largest single-precision results lie just below 89.4159851
        for name in ("sinh", "cosh"):
            with self.subTest(cls=name):
                below, above = results(name, 89.4, 89.42)
                self.assertTrue(math.isfinite(float(below)) and float(below) > 3e38)
                self.assertEqual(above, "inf")

    def test_nan_and_infinities(self):
        for name in NAMES:
            with self.subTest(cls=name):
                out = results(name, "=nan", "=-nan", "=inf", "=-inf", "bang")
                self.assertTrue(all(math.isnan(float(t)) for t in out[:2]), out)
                # the stored result is the last one, also after infinities
                self.assertEqual(out[4], out[3])
        self.assertEqual(results("asin", "=inf", "=-inf")[:2], [fmt(math.pi / 2), fmt(-math.pi / 2)])
        self.assertEqual(results("acos", "=inf", "=-inf"), ["0", fmt(math.pi)])
        self.assertEqual(results("sinh", "=inf", "=-inf"), ["inf", "-inf"])
        self.assertEqual(results("cosh", "=inf", "=-inf"), ["inf", "inf"])
        self.assertEqual(results("tanh", "=inf", "=-inf"), ["1", "-1"])


class StoredResultTest(unittest.TestCase):
    def test_creation_argument_computes_silently(self):
        # nothing is sent at creation; a bang sends the function of the argument
        self.assertEqual(results("acos", "bang"), [fmt(math.pi / 2)])
        self.assertEqual(results("asin", "bang"), ["0"])
        self.assertEqual(results("cosh", "bang"), ["1"])
        self.assertEqual(results("sinh", "bang"), ["0"])
        self.assertEqual(results("tanh", "bang"), ["0"])
        self.assertEqual(results("asin", "bang", arg="5"), [fmt(math.pi / 2)])  # clamped too
        self.assertEqual(results("acos", "bang", arg="-1"), [fmt(math.pi)])
        self.assertEqual(results("cosh", "bang", arg="100"), ["inf"])
        self.assertTrue(near(results("tanh", "bang", arg="0.5")[0], math.tanh(0.5)))

    def test_bang_repeats_the_last_result_exactly(self):
        for name in NAMES:
            with self.subTest(cls=name):
                out = results(name, 0.3, "bang", "bang", -0.7, "bang")
                self.assertEqual(out[0], out[1])
                self.assertEqual(out[1], out[2])
                self.assertNotEqual(out[2], out[3])
                self.assertEqual(out[3], out[4])

    def test_other_messages_are_refused(self):
        r = run("""
            m: asin
            m => o
            @0 m symbol foo
            @0 m set 1
        """, allow_errors=True)
        self.assertEqual(r["o"], [])
        self.assertIn("error: asin: no method for 'symbol'", r.console)
        self.assertIn("error: asin: no method for 'set'", r.console)


if __name__ == "__main__":
    unittest.main()
