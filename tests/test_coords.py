"""xy2ra and ra2xy in the host: values, output order, the stored right inlet."""
import math
import unittest

from bench import f32, fmt, run


def convert(cls, pairs, extra=""):
    """Sends each (left, right) pair to a fresh [cls] (right first, None to
    leave it) and returns the lines of both outlets in the order sent."""
    events = []
    for left, right in pairs:
        if right is not None:
            events.append("@0 c:1 float %s" % right)
        events.append("@0 c float %s" % left)
    r = run("""
        c: %s
        c:0 => o1
        c:1 => o2
        %s
        %s
    """ % (cls, extra, "\n".join(events)))
    return r.seq("o1", "o2")


def xy(angle, r):
    return ["o2: " + fmt(angle), "o1: " + fmt(r)]


class Xy2raTest(unittest.TestCase):
    def test_right_outlet_first(self):
        self.assertEqual(convert("xy2ra", [(1, 1)]), xy(math.pi / 4, math.sqrt(2)))
        self.assertEqual(convert("xy2ra", [(3, 4)]), xy(math.atan2(4, 3), 5))
        # the stored y is kept from one x to the next
        self.assertEqual(convert("xy2ra", [(3, 4), (-3, None)]),
                         xy(math.atan2(4, 3), 5) + xy(math.atan2(4, -3), 5))

    def test_y_unset_and_signed_zeros(self):
        self.assertEqual(convert("xy2ra", [(-1, None)]), xy(math.pi, 1))
        self.assertEqual(convert("xy2ra", [(-1, "=-0")]), xy(-math.pi, 1))
        self.assertEqual(convert("xy2ra", [(0, None)]), xy(0, 0))
        self.assertEqual(convert("xy2ra", [("=-0", None)]), xy(math.pi, 0))

    def test_nan_infinities_huge(self):
        out = convert("xy2ra", [("=nan", 1), ("=inf", None), (1, "=inf"), (3e38, 3e38)])
        self.assertTrue(out[0].startswith("o2: ") and out[0].endswith("nan"), out)
        self.assertTrue(out[1].startswith("o1: ") and out[1].endswith("nan"), out)
        self.assertEqual(out[2:6], xy(0, math.inf) + xy(math.pi / 2, math.inf))
        self.assertEqual(out[6:], xy(math.pi / 4, math.inf))  # the distance overflows

    def test_y_written_from_downstream_of_the_angle(self):
        # the angle outlet sets y to 0 before the distance is computed
        out = convert("xy2ra", [(3, 4)], extra="""
            z: * 0
            c:1 -> z -> c:1
        """)
        self.assertEqual(out, xy(math.atan2(4, 3), 3))

    def test_bang_is_refused(self):
        r = run("""
            c: xy2ra
            c:0 => o1
            @0 c bang
        """, allow_errors=True)
        self.assertEqual(r["o1"], [])
        self.assertIn("error: xy2ra: no method for 'bang'", r.console)


def yx(y, x):
    return ["o2: " + fmt(y), "o1: " + fmt(x)]


class Ra2xyTest(unittest.TestCase):
    def test_right_outlet_first(self):
        # pi/2 in single precision is a little above pi/2: x is not quite 0
        self.assertEqual(convert("ra2xy", [(2, 1.5707964)]), yx(2, -8.742278e-08))
        self.assertEqual(convert("ra2xy", [(5, None)]), yx(0, 5))
        self.assertEqual(convert("ra2xy", [(2, math.pi), (1, None)]),
                         yx(2 * math.sin(f32(math.pi)), -2) + yx(math.sin(f32(math.pi)), -1))

    def test_negative_distance_goes_through_the_origin(self):
        self.assertEqual(convert("ra2xy", [(-3, None)]), yx(-0.0, -3))
        out = convert("ra2xy", [(-2, 0.5)])
        self.assertEqual(out, yx(-2 * math.sin(0.5), -2 * math.cos(0.5)))

    def test_nan_and_infinities(self):
        out = convert("ra2xy", [("=inf", 0), ("=inf", 1), (1, "=inf"), ("=nan", None)])
        self.assertTrue(out[0].startswith("o2: ") and out[0].endswith("nan"), out)  # 0 * inf
        self.assertEqual(out[1], "o1: inf")
        self.assertEqual(out[2:4], yx(math.inf, math.inf))
        self.assertTrue(all(t.endswith("nan") for t in out[4:]), out)

    def test_angle_written_from_downstream_of_y(self):
        # the y outlet sets the angle to 0 before x is computed
        out = convert("ra2xy", [(2, 1.5707964)], extra="""
            z: * 0
            c:1 -> z -> c:1
        """)
        self.assertEqual(out, yx(2, 2))


if __name__ == "__main__":
    unittest.main()
