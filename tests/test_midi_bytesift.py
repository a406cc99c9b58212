"""bytesift and bytecast in the host: the receiver machine, channels, the
formatter's status bytes and the round trip between the two."""
import unittest

from bench import f32, run


def feed(target, *values, at=0):
    """Event lines delivering each value (a number, 'bang' or '=nan' style
    text) to target, in order, at block `at`."""
    lines = []
    for v in values:
        if v == "bang":
            lines.append("@%d %s bang" % (at, target))
        else:
            lines.append("@%d %s float %s" % (at, target, v))
    return "\n".join(lines)


SIFT = """
    b: bytesift
    b:0 => note
    b:1 => poly
    b:2 => cc
    b:3 => pgm
    b:4 => touch
    b:5 => bend
    b:6 => ch
"""
OUTS = ("note", "poly", "cc", "pgm", "touch", "bend", "ch")


def sift(*values):
    return run(SIFT + feed("b", *values)).seq(*OUTS)


class BytesiftTest(unittest.TestCase):
    def test_every_kind_channel_first(self):
        self.assertEqual(sift(144, 60, 100), ["ch: 1", "note: list 60 100"])
        self.assertEqual(sift(128, 64, 90), ["ch: 1", "note: list 64 0"])  # release velocity dropped
        self.assertEqual(sift(161, 60, 30), ["ch: 2", "poly: list 30 60"])
        self.assertEqual(sift(177, 7, 100), ["ch: 2", "cc: list 100 7"])
        self.assertEqual(sift(207, 9), ["ch: 16", "pgm: 9"])
        self.assertEqual(sift(208, 77), ["ch: 1", "touch: 77"])
        self.assertEqual(sift(224, 127, 64), ["ch: 1", "bend: 64"])  # MSB only

    def test_running_status(self):
        self.assertEqual(sift(144, 60, 100, 62, 0),
                         ["ch: 1", "note: list 60 100", "ch: 1", "note: list 62 0"])
        self.assertEqual(sift(197, 3, 4), ["ch: 6", "pgm: 3", "ch: 6", "pgm: 4"])
        self.assertEqual(sift(213, 1, 2, 3), ["ch: 6", "touch: 1", "ch: 6", "touch: 2", "ch: 6", "touch: 3"])

    def test_interruptions(self):
        # real-time bytes anywhere change nothing; negatives are skipped
        self.assertEqual(sift(144, 248, 60, 255, 100), ["ch: 1", "note: list 60 100"])
        self.assertEqual(sift(144, 60, -5, 100), ["ch: 1", "note: list 60 100"])
        self.assertEqual(sift(144, 60, "=-inf", 100), ["ch: 1", "note: list 60 100"])
        # -0.5 truncates to the data byte 0, 127.9 to 127
        self.assertEqual(sift(144, 127.9, -0.5), ["ch: 1", "note: list 127 0"])
        # a new status abandons the half-received message
        self.assertEqual(sift(144, 60, 176, 7, 100), ["ch: 1", "cc: list 100 7"])
        # above 255 (also huge values and NaN-free infinities) abandons it and the status
        for bad in (256, 300, 1e9):
            with self.subTest(bad=bad):
                self.assertEqual(sift(144, 60, bad, 100, 60, 100), [])
        # NaN and values beyond 32 bits count as the most negative integer: skipped
        for bad in ("=nan", "=inf", 1e10, -1e10):
            with self.subTest(bad=bad):
                self.assertEqual(sift(144, 60, bad, 100), ["ch: 1", "note: list 60 100"])
        # system exclusive: the body and what follows are ignored until a status byte
        self.assertEqual(sift(144, 240, 1, 2, 3, 247, 60, 100, 145, 60, 100), ["ch: 2", "note: list 60 100"])
        self.assertEqual(sift(144, 60, 241, 100), [])
        # bang clears; data before any status is ignored
        self.assertEqual(sift(144, 60, "bang", 100, 1, 2), [])
        self.assertEqual(sift(60, 100, 197, "bang", 5), [])

    def test_bad_messages_post_nothing(self):
        r = run(SIFT + """
            @0 b list 144 60
            @0 b float 100
            @0 b symbol x
            @0 b foo 1 2
            @0 b list
        """, allow_errors=True)
        # a list's first element reaches the float method; the empty list is a bang
        self.assertEqual(r.seq(*OUTS), [])
        self.assertEqual(r.console, ["error: bytesift: no method for 'symbol'",
                                     "error: bytesift: no method for 'foo'"])


CAST = """
    c: bytecast %s
    c => out
"""


def cast(arg, *events):
    r = run(CAST % arg + "\n".join("@0 c%s" % e for e in events))
    return [f32(float(v)) for v in r["out"]]


class BytecastTest(unittest.TestCase):
    def test_channels(self):
        for arg, status in (("", 144), ("1", 144), ("16", 159), ("17", 144), ("0", 144), ("-3", 144),
                            ("2.9", 145), ("1e10", 144)):
            with self.subTest(channel=arg):
                self.assertEqual(cast(arg, " list 60 100"), [status, 60, 100])
        # inlet 7 replaces the channel, truncated only when the status is built
        self.assertEqual(cast("", ":6 float 2.9", " list 60 100", ":6 float -1", " list 60 100"),
                         [145, 60, 100, 144, 60, 100])

    def test_each_inlet(self):
        self.assertEqual(cast("2", ":1 list 30 60"), [161, 60, 30])
        self.assertEqual(cast("2", ":2 list 100 7"), [177, 7, 100])
        self.assertEqual(cast("", ":3 float 5.7"), [192, 5])
        self.assertEqual(cast("", ":4 float 99"), [208, 99])
        self.assertEqual(cast("", ":5 float 64"), [224, 0, 64])

    def test_values_unmasked_and_lists_checked(self):
        self.assertEqual(cast("", " list 200 300", " list -1 -1"), [144, 200, 300, 144, -1, -1])
        self.assertEqual(cast("", " list 60 100 1"), [144, 60, 100])
        # too short, or not two floats: nothing; a lone float arrives as a one-element list
        self.assertEqual(cast("", " list 60", " list 60 x", " list x 60", " float 60", " bang",
                              ":1 float 60", ":2 list 7", ":1 symbol x"), [])
        # NaN and values beyond 32 bits give the most negative integer, sent as it is
        self.assertEqual(cast("", " list 60 =nan"), [144, 60, f32(-2.0 ** 31)])


class RoundTripTest(unittest.TestCase):
    def test_bytesift_into_bytecast(self):
        stream = [145, 60, 100, 62, 0, 129, 60, 33, 161, 60, 30, 177, 7, 100, 193, 5, 6, 209, 77,
                  225, 127, 64, 248, 240, 1, 2, 247]
        r = run("""
            b: bytesift
            c: bytecast
            b:0 -> c:0
            b:1 -> c:1
            b:2 -> c:2
            b:3 -> c:3
            b:4 -> c:4
            b:5 -> c:5
            b:6 -> c:6
            c => out
        """ + feed("b", *stream))
        # a note off comes back as a note on with velocity 0 (release velocity
        # lost), a bend with LSB 0; real-time and exclusive bytes are not messages
        want = [145, 60, 100, 145, 62, 0, 145, 60, 0, 161, 60, 30, 177, 7, 100, 193, 5, 193, 6, 209, 77,
                225, 0, 64]
        self.assertEqual([float(v) for v in r["out"]], want)


if __name__ == "__main__":
    unittest.main()
