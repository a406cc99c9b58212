"""asin, acos, sinh, cosh, tanh in the host: values, clamping, stored result."""
import math
import unittest

from bench import FLOATSIZE, fmt, run, tf

PI, HALF_PI = fmt(math.pi), fmt(math.pi / 2)
# sinh and cosh overflow the host's numbers just above this
OVERFLOW = 89.4159851 if FLOATSIZE == 32 else 710.475860073943


def results(cls, *inputs, arg=""):
    """What one [cls arg] sends for each input: a float, or 'bang'."""
    events = "\n".join("@0 m bang" if x == "bang" else "@0 m float %s" % x for x in inputs)
    return run("m: %s %s\nm => o\n%s" % (cls, arg, events))["o"]


class UnaryMathTest(unittest.TestCase):
    def test_values_clamping_and_overflow(self):
        self.assertEqual(results("asin", 2, -7, "=inf", "=-0"), [HALF_PI, "-" + HALF_PI, HALF_PI, "-0"])
        self.assertEqual(results("acos", 1, -1, 2, "=-inf", 0), ["0", PI, "0", PI, HALF_PI])
        self.assertEqual(results("cosh", 0, 100, "=-inf"), ["1", fmt(math.cosh(100)), "inf"])
        self.assertEqual(results("sinh", "=-0", -100, -1000), ["-0", fmt(math.sinh(-100)), "-inf"])
        self.assertEqual(results("tanh", "=-0", 100, "=-inf"), ["-0", "1", "-1"])
        # the largest finite results lie just below OVERFLOW
        for name in ("sinh", "cosh"):
            below, above = results(name, OVERFLOW - 0.01, OVERFLOW + 0.01)
            self.assertTrue(float(below) < math.inf and above == "inf", (name, below, above))
            self.assertGreater(math.log(2 * float(below)), OVERFLOW - 0.02)
        # just inside the lower end of the domain, and a little beyond either end
        for name, fn in (("asin", math.asin), ("acos", math.acos)):
            out = results(name, -0.5, -1.5, 1.5)
            self.assertTrue(math.isclose(float(out[0]), tf(fn(-0.5)), rel_tol=3e-7), (name, out))
            self.assertEqual(out[1:], [fmt(fn(-1)), fmt(fn(1))], name)
        # an ordinary value, so that each module is seen to use its own function
        for name, fn in (("asin", math.asin), ("acos", math.acos), ("sinh", math.sinh),
                         ("cosh", math.cosh), ("tanh", math.tanh)):
            self.assertTrue(math.isclose(float(results(name, 0.5)[0]), tf(fn(0.5)), rel_tol=3e-7), name)

    def test_nan_is_stored_and_repeated(self):
        for name in ("asin", "acos", "sinh", "cosh", "tanh"):
            out = results(name, "=nan", "bang", "=-nan")
            self.assertTrue(all(t.endswith("nan") for t in out) and len(out) == 3, (name, out))

    def test_creation_argument_computes_silently(self):
        # nothing is sent at creation; a bang sends the function of the argument
        self.assertEqual(results("acos", "bang"), [HALF_PI])
        self.assertEqual(results("cosh", "bang"), ["1"])
        self.assertEqual(results("asin", "bang"), ["0"])
        self.assertEqual(results("asin", "bang", arg="5"), [HALF_PI])  # clamped too
        self.assertEqual(results("cosh", "bang", arg="1000"), ["inf"])

    def test_bang_repeats_the_last_result_exactly(self):
        out = results("sinh", 0.3, "bang", -0.7, "bang", "bang")
        self.assertEqual([out[0], out[2], out[2]], [out[1], out[3], out[4]])
        self.assertNotEqual(out[0], out[2])

    def test_bang_from_downstream_sends_the_new_result(self):
        # the result goes to the recorder, then a one-shot (a spigot that
        # closes itself) bangs tanh again from inside its own output
        out = run("""
            m: tanh 0.25
            t: t b f
            g: spigot 1
            tt: t b b
            z: f 0
            m -> t
            t:1 => o
            t:0 -> g -> tt
            tt:1 -> z -> g:1
            tt:0 -> m
            @0 m float 0.5
        """)["o"]
        self.assertEqual(out, [fmt(math.tanh(0.5))] * 2)


if __name__ == "__main__":
    unittest.main()
