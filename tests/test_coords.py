"""xy2ra and ra2xy in the host: values, output order, the stored right inlet."""
import math
import unittest

from bench import BIG, fmt, run, tf

# an object on outlet 2 that writes 0 into inlet 2 before outlet 1 is computed
ZERO_FROM_OUTLET_2 = """
    z: * 0
    c:1 -> z -> c:1
"""


def convert(cls, pairs, extra=""):
    """Sends each (left, right) pair to one [cls] (right first; None leaves it)
    and returns both outlets' lines in the order sent."""
    events = []
    for left, right in pairs:
        if right is not None:
            events.append("@0 c:1 float %s" % right)
        events.append("@0 c float %s" % left)
    r = run("c: %s\nc:0 => o1\nc:1 => o2\n%s\n%s" % (cls, extra, "\n".join(events)))
    return r.seq("o1", "o2")


def out(second, first):
    """Outlet 2's value, then outlet 1's."""
    return ["o2: " + fmt(second), "o1: " + fmt(first)]


class Xy2raTest(unittest.TestCase):
    def test_angle_then_distance(self):
        self.assertEqual(convert("xy2ra", [(1, 1), (3, 4), (-3, None)]),
                         out(math.pi / 4, math.sqrt(2)) + out(math.atan2(4, 3), 5) + out(math.atan2(4, -3), 5))
        # y never set is 0; -0 stored through inlet 2 turns the angle to -pi
        self.assertEqual(convert("xy2ra", [(-1, None), (0, None), (-1, "=-0")]),
                         out(math.pi, 1) + out(0, 0) + out(-math.pi, 1))
        # infinities and overflow as the library functions give them
        self.assertEqual(convert("xy2ra", [(1, "=inf"), (BIG, BIG)]),
                         out(math.pi / 2, math.inf) + out(math.pi / 4, math.inf))

    def test_y_is_read_again_for_the_distance(self):
        self.assertEqual(convert("xy2ra", [(3, 4)], ZERO_FROM_OUTLET_2), out(math.atan2(4, 3), 3))


class Ra2xyTest(unittest.TestCase):
    def test_y_then_x(self):
        # pi/2 as the host holds it is a little above pi/2: x is not quite 0
        a = tf(1.5707964)
        self.assertEqual(convert("ra2xy", [(2, a), (5, 0), (1, math.pi)]),
                         out(2 * tf(math.sin(a)), 2 * tf(math.cos(a))) + out(0, 5)
                         + out(math.sin(tf(math.pi)), -1))
        # the angle never set is 0
        self.assertEqual(convert("ra2xy", [(5, None)]), out(0, 5))

    def test_negative_distance_goes_through_the_origin(self):
        self.assertEqual(convert("ra2xy", [(-3, None), (-2, 0.5)]),
                         out(-0.0, -3) + out(-2 * math.sin(0.5), -2 * math.cos(0.5)))

    def test_angle_is_read_again_for_x(self):
        a = tf(1.5707964)
        self.assertEqual(convert("ra2xy", [(2, a)], ZERO_FROM_OUTLET_2), out(2 * tf(math.sin(a)), 2))


if __name__ == "__main__":
    unittest.main()
