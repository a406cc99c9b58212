"""wheelsend, wheelsend2, wheelrecv and wheelrecv2 in the host: 14-bit and
two-half forms, channels, range tests and the full round trip."""
import unittest

from bench import run


def feed(target, *values):
    return "\n".join("@0 %s %s" % (target, "bang" if v == "bang" else "float %s" % v) for v in values)


def send(cls, arg, *events):
    lines = ["@0 w:%d %s" % (i, "bang" if v == "bang" else "float %s" % v) for i, v in events]
    r = run("w: %s %s\nw => out\n" % (cls, arg) + "\n".join(lines))
    return [int(v) for v in r["out"]]


class WheelsendTest(unittest.TestCase):
    def test_values(self):
        self.assertEqual(send("wheelsend", "", (0, "bang")), [224, 0, 64])
        self.assertEqual(send("wheelsend", "", (0, 0), (0, 16383), (0, 8191.7)),
                         [224, 0, 0, 224, 127, 127, 224, 127, 63])

    def test_out_of_range_stored(self):
        for bad in (16384, -1, "=nan", "=inf", 1e10):
            with self.subTest(value=bad):
                self.assertEqual(send("wheelsend", "", (0, bad), (0, "bang")), [])
        self.assertEqual(send("wheelsend", "", (0, -0.9), (0, "bang")), [224, 0, 0, 224, 0, 0])

    def test_channels(self):
        self.assertEqual(send("wheelsend", "2", (0, "bang")), [225, 0, 64])
        self.assertEqual(send("wheelsend", "", (1, 17), (0, "bang"), (1, 16.5), (0, "bang")),
                         [224, 0, 64, 239, 0, 64])
        self.assertEqual(send("wheelsend", "", (1, 0), (0, "bang"), (0, 100), (1, "=nan"), (0, 100)), [])
        for arg in ("0", "-3", "1e10"):
            with self.subTest(arg=arg):
                self.assertEqual(send("wheelsend", arg, (0, "bang")), [224, 0, 64])


class Wheelsend2Test(unittest.TestCase):
    def test_values(self):
        self.assertEqual(send("wheelsend2", "", (0, "bang")), [224, 0, 64])
        self.assertEqual(send("wheelsend2", "3", (1, 5), (0, 70), (1, 6.9), (0, "bang")),
                         [226, 5, 70, 226, 6, 70])

    def test_halves_tested_not_masked(self):
        self.assertEqual(send("wheelsend2", "", (1, 128), (0, 70), (1, -1), (0, 70), (1, "=nan"), (0, 70)), [])
        self.assertEqual(send("wheelsend2", "", (0, 128), (0, "bang"), (0, -1), (0, 1e10)), [])
        self.assertEqual(send("wheelsend2", "", (2, 0), (0, 70), (2, 18), (0, 70)), [225, 0, 70])


def recv(cls, arg, *values):
    outs = {"wheelrecv": ["value"], "wheelrecv2": ["msb", "lsb"]}[cls]
    if arg in ("", "0"):
        outs.append("ch")
    script = "w: %s %s\n" % (cls, arg) + "".join("w:%d => %s\n" % (i, n) for i, n in enumerate(outs))
    return run(script + feed("w", *values)).seq(*outs)


class WheelrecvTest(unittest.TestCase):
    def test_omni(self):
        self.assertEqual(recv("wheelrecv", "", 224, 0, 64), ["ch: 1", "value: 8192"])
        self.assertEqual(recv("wheelrecv", "", 239, 127, 127), ["ch: 16", "value: 16383"])
        self.assertEqual(recv("wheelrecv2", "", 224, 5, 70), ["ch: 1", "lsb: 5", "msb: 70"])

    def test_one_channel_and_running_status(self):
        self.assertEqual(recv("wheelrecv", "1", 225, 0, 64), [])
        self.assertEqual(recv("wheelrecv", "1", 224, 0, 64, 10, 65), ["value: 8192", "value: 8330"])
        self.assertEqual(recv("wheelrecv2", "16", 239, 1, 2, 3, 4), ["lsb: 1", "msb: 2", "lsb: 3", "msb: 4"])
        for arg in ("17", "-1", "-1e10"):
            with self.subTest(arg=arg):
                self.assertEqual(recv("wheelrecv", arg, *[b for s in range(224, 240) for b in (s, 0, 64)]), [])

    def test_interruptions(self):
        self.assertEqual(recv("wheelrecv", "", 224, 0, 248, 64), ["ch: 1", "value: 8192"])
        self.assertEqual(recv("wheelrecv", "", 224, 0, 144, 64, 1), [])
        self.assertEqual(recv("wheelrecv2", "", 224, 0, 1000, 64, 1), [])
        self.assertEqual(recv("wheelrecv2", "", 224, 0, "=nan", -7, 64), ["ch: 1", "lsb: 0", "msb: 64"])
        self.assertEqual(recv("wheelrecv", "", 224, 240, 0, 64, 225, 1, 1), ["ch: 2", "value: 129"])


class BendRoundTripTest(unittest.TestCase):
    def test_every_value_comes_back(self):
        # a counter drives every value 0..16383 through wheelsend into wheelrecv
        r = run("""
            u: until
            c: f 0
            a: + 1
            s: wheelsend 5
            w: wheelrecv
            u -> c
            c -> a
            a -> c:1
            c -> s
            s -> w
            w:0 => value
            w:1 => ch
            @0 u float 16384
        """)
        self.assertEqual(r["value"], [str(v) for v in range(16384)])
        self.assertEqual(set(r["ch"]), {"5"})

    def test_halves_round_trip(self):
        lines = []
        for lsb, msb in ((0, 0), (127, 127), (5, 70), (64, 1)):
            lines += ["@0 s:1 float %d" % lsb, "@0 s float %d" % msb]
        r = run("""
            s: wheelsend2 9
            w: wheelrecv2 9
            s -> w
            w:0 => msb
            w:1 => lsb
        """ + "\n".join(lines))
        self.assertEqual(r.seq("msb", "lsb"), ["lsb: 0", "msb: 0", "lsb: 127", "msb: 127", "lsb: 5", "msb: 70",
                                               "lsb: 64", "msb: 1"])


if __name__ == "__main__":
    unittest.main()
