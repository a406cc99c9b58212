"""Peak and Trough in the host: comparisons, flag order, the forcing inlet,
re-entry from the flag outlets and NaN (their other names: test_volley)."""
import unittest

from bench import fmt, run

RECORD = """
    x:0 => v
    x:1 => new
    x:2 => old
"""


def extreme(cls, events, blocks=1, extra=""):
    r = run("x: %s\n%s%s\n%s" % (cls, extra, RECORD, events), dsp=False, blocks=blocks)
    return r.seq("v", "new", "old")


def step(new, value=None):
    """The lines of one input: old flag, new flag, then the value on a new extreme."""
    if new:
        return ["old: 0", "new: 1", "v: %s" % value]
    return ["old: 1", "new: 0"]


class PeakTest(unittest.TestCase):
    def test_below_start_and_bang(self):
        self.assertEqual(extreme("Peak", "@0 x float -5\n@0 x bang"), step(False) + ["v: 0"])

    def test_equal_is_no_new_peak(self):
        self.assertEqual(extreme("Peak", "@0 x float 3\n@0 x float 3\n@0 x float 7\n@0 x float =-0"),
                         step(True, 3) + step(False) + step(True, 7) + step(False))

    def test_inlet_two_forces_and_can_lower(self):
        self.assertEqual(
            extreme("Peak", "@0 x float 10\n@0 x:1 float 2\n@0 x float 5\n@0 x bang"),
            step(True, 10) + step(True, 2) + step(True, 5) + ["v: 5"])

    def test_nan(self):
        # a NaN input is never a new peak; a stored NaN blocks every later
        # comparison until inlet 2 stores a number again
        self.assertEqual(
            extreme("Peak", """
                @0 x float =nan
                @0 x:1 float =nan
                @0 x float 1e30
                @0 x float =inf
                @0 x bang
                @0 x:1 float =-inf
                @0 x float -1e30
            """),
            step(False) + step(True, "nan") + step(False) * 2 + ["v: nan"] + step(True, "-inf")
            + step(True, fmt(-1e30)))

    def test_bang_from_a_flag_outlet_repeats_the_old_peak(self):
        # the flags go out before the value is stored
        r = run("""
            x: Peak
            s: sel 1
            x:0 => v
            x:1 -> s
            s -> x
            @0 x float 4
            @0 x float 2
            @0 x float 9
        """, dsp=False)
        self.assertEqual(r["v"], ["0", "4", "4", "9"])


class TroughTest(unittest.TestCase):
    def test_start_is_128_and_inlet_two_can_raise(self):
        self.assertEqual(extreme("Trough", """
            @0 x bang
            @0 x float 130
            @0 x float 128
            @0 x float 60
            @0 x:1 float 500
            @0 x float 200
            @0 x float =nan
        """), ["v: 128"] + step(False) * 2 + step(True, 60) + step(True, 500) + step(True, 200) + step(False))

    def test_bang_during_the_flags_repeats_the_old_trough(self):
        r = run("""
            x: Trough
            t: t b
            x:0 => v
            x:2 -> t
            t -> x
            @0 x float 50
            @0 x float 70
        """, dsp=False)
        # 50: the old-flag outlet's bang repeats 128, then 50 is stored
        # 70: no new trough, the bang repeats 50
        self.assertEqual(r["v"], ["128", "50", "50"])


if __name__ == "__main__":
    unittest.main()
