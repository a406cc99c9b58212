"""mean and tally in the host: running values, lists, output order, precision
and the messages the host refuses."""
import unittest

from bench import BIG, FLOATSIZE, fmt, run, tf


def mean(events, blocks=1, extra=""):
    r = run("""
        x: mean
        %s
        x:0 => mean
        x:1 => count
        %s
    """ % (extra, events), dsp=False, blocks=blocks)
    return r.seq("mean", "count")


def out(*pairs):
    """(count, mean) pairs as printed: count first, then the mean."""
    lines = []
    for c, m in pairs:
        lines += ["count: %s" % fmt(c), "mean: %s" % fmt(m)]
    return lines


class MeanTest(unittest.TestCase):
    def test_fresh_bang_and_running_floats(self):
        self.assertEqual(mean("""
            @0 x bang
            @0 x float 1
            @0 x float 2
            @0 x float 3
            @0 x float 4
            @0 x bang
        """), out((0, 0), (1, 1), (2, 1.5), (3, 2), (4, 2.5), (4, 2.5)))

    def test_list_replaces_the_history(self):
        self.assertEqual(mean("""
            @0 x float 100
            @0 x list 1 2 3
            @0 x float 6
            @0 x list a 1 b 3
            @0 x list 5
        """), out((1, 100), (3, 2), (4, 3), (2, 2), (1, 5)))

    def test_lists_without_floats_and_clear_reset(self):
        self.assertEqual(mean("""
            @0 x float 7
            @0 x list a b
            @0 x float 1
            @0 x list
            @0 x bang
            @0 x float 9
            @0 x clear
            @0 x bang
        """), out((1, 7), (0, 0), (1, 1), (0, 0), (0, 0), (1, 9), (0, 0)))

    def test_the_sum_is_kept_in_double_precision(self):
        # 10000 times 0.1 (as the host holds it); a single-precision sum
        # would drift visibly; the double sum of 0.1 in single precision
        # gives it back exactly, and in double precision as Python's own
        # double sum does
        r = run("""
            u: until
            f: f 0.1
            x: mean
            u -> f
            f -> x
            x:0 => mean
            x:1 => count
            @0 u float 10000
            @1 x bang
        """, dsp=False, blocks=2)
        self.assertEqual(r["count"][-1], "10000")
        total = 0.0
        for _ in range(10000):
            total += tf(0.1)
        self.assertEqual(r["mean"][-1], fmt(total / 10000))
        if FLOATSIZE == 32:
            self.assertEqual(r["mean"][-1], fmt(0.1))
        self.assertEqual(len(r["mean"]), 10001)

    def test_large_and_undefined_values(self):
        seq = mean("""
            @0 x float 3e38
            @0 x float 3e38
            @0 x float =inf
            @0 x float =-inf
            @0 x list 1 2
        """)
        self.assertEqual(seq[:6], out((1, 3e38), (2, 3e38), (3, float("inf"))))
        self.assertEqual(seq[6], "count: 4")
        self.assertIn(seq[7], ("mean: nan", "mean: -nan"))
        self.assertEqual(seq[8:], out((2, 1.5)))

    def test_symbols_and_other_selectors(self):
        # the host hands a symbol to the list method, as a list of one
        # symbol: a list without floats; other selectors are refused
        r = run("""
            x: mean
            x:0 => mean
            x:1 => count
            @0 x float 4
            @0 x symbol a
            @0 x foo 1
            @0 x bang
        """, dsp=False, allow_errors=True)
        self.assertEqual(r.console, ["error: mean: no method for 'foo'"])
        self.assertEqual(r.seq("mean", "count"), out((1, 4), (0, 0), (0, 0)))


def tally(arg, events, blocks=1):
    r = run("""
        x: tally %s
        x => v
        %s
    """ % (arg, events), dsp=False, blocks=blocks)
    return r["v"]


class TallyTest(unittest.TestCase):
    def test_silent_add_and_multiply(self):
        self.assertEqual(tally("", """
            @0 x:1 float 1
            @0 x:1 float 1
            @0 x:1 float 1
            @0 x bang
            @0 x:2 float 0.5
            @0 x bang
            @0 x:2 float -2
            @0 x:1 float 0.25
            @0 x bang
        """), ["3", "1.5", "-2.75"])

    def test_set_and_float(self):
        self.assertEqual(tally("2", """
            @0 x bang
            @0 x set 10
            @0 x bang
            @0 x float 4
            @0 x bang
        """), ["2", "10", "4", "4"])

    def test_host_precision(self):
        # sums and products are rounded to the host's numbers as they are
        # stored: 2^24 + 1 stays 2^24 in single precision
        v = tally("16777216", """
            @0 x:1 float 1
            @0 x bang
            @0 x set %r
            @0 x:2 float 10
            @0 x bang
            @0 x:1 float =-inf
            @0 x bang
        """ % BIG)
        self.assertEqual(v[:2], [fmt(16777217), "inf"])
        self.assertIn(v[2], ("nan", "-nan"))

    def test_refused_messages(self):
        r = run("""
            x: tally 1
            x => v
            @0 x set
            @0 x set a
            @0 x symbol a
            @0 x bang
        """, dsp=False, allow_errors=True)
        self.assertEqual(sum("bad arguments for message 'set' to object 'tally'" in l for l in r.console), 2)
        self.assertIn("error: tally: no method for 'symbol'", r.console)
        self.assertEqual(r["v"], ["1"])


if __name__ == "__main__":
    unittest.main()
