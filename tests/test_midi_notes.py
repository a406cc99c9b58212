"""keysend and keyrecv in the host: status bytes from channels and flags,
velocity masking, omni and one-channel receiving, and the round trip."""
import unittest

from bench import f32, run


def feed(target, *values, at=0):
    return "\n".join("@%d %s %s" % (at, target, v if isinstance(v, str) and not v.startswith("=")
                                    else "float %s" % v) for v in values)


def keysend(arg, *events):
    """events: (inlet, value) pairs; inlet 0 value 'bang' bangs."""
    lines = []
    for inlet, v in events:
        lines.append("@0 k:%d %s" % (inlet, "bang" if v == "bang" else "float %s" % v))
    r = run("k: keysend %s\nk => out\n" % arg + "\n".join(lines))
    return [f32(float(v)) for v in r["out"]]


class KeysendTest(unittest.TestCase):
    def test_defaults_and_flag(self):
        self.assertEqual(keysend("", (0, 60)), [128, 60, 0])
        self.assertEqual(keysend("", (2, 1), (1, 100), (0, 60), (2, 0), (1, 64), (0, 60)),
                         [144, 60, 100, 128, 60, 64])
        # -1 and NaN are not 0: note on; 0.9 truncates to 0: note off
        self.assertEqual(keysend("", (2, -1), (0, 60), (2, "=nan"), (0, 61), (2, 0.9), (0, 62)),
                         [144, 60, 0, 144, 61, 0, 128, 62, 0])
        # a note on with velocity 0 stays a note on
        self.assertEqual(keysend("", (2, 1), (1, 0), (0, 60)), [144, 60, 0])

    def test_velocity_masked(self):
        self.assertEqual(keysend("", (1, 128), (0, 60), (1, 200), (0, 60), (1, -1), (0, 60), (1, 100.9), (0, 60)),
                         [128, 60, 0, 128, 60, 72, 128, 60, 127, 128, 60, 100])

    def test_pitch_refused_and_bang(self):
        self.assertEqual(keysend("", (0, "bang")), [])
        self.assertEqual(keysend("", (0, 128), (0, "bang"), (0, -1), (0, "=nan"), (0, 1e10), (0, "bang")), [])
        # bang repeats the stored pitch with the present flag, velocity and channel
        self.assertEqual(keysend("", (0, 60.7), (2, 1), (1, 5), (3, 3), (0, "bang")),
                         [128, 60, 0, 146, 60, 5])

    def test_channels(self):
        for arg, status in (("0", 128), ("-2", 128), ("16", 143), ("17", 128), ("2.9", 129), ("1e10", 128), ("-1e10", 128)):
            with self.subTest(arg=arg):
                self.assertEqual(keysend(arg, (0, 60)), [status, 60, 0])
        self.assertEqual(keysend("16", (2, 1), (0, 60)), [159, 60, 0])
        # channel 0 or below at inlet 4 silences the object
        self.assertEqual(keysend("", (3, 0), (0, 60), (3, -5), (0, "bang"), (3, 0.5), (0, 60)), [])


RECV = """
    k: keyrecv %s
    k:0 => pitch
    k:1 => vel
    k:2 => flag
"""


def keyrecv(arg, *values):
    script = RECV % arg
    if arg in ("", "0"):
        script += "k:3 => ch\n"
    r = run(script + feed("k", *values))
    return r.seq("pitch", "vel", "flag", "ch")


class KeyrecvTest(unittest.TestCase):
    def test_omni(self):
        self.assertEqual(keyrecv("", 144, 60, 100), ["ch: 1", "flag: 1", "vel: 100", "pitch: 60"])
        self.assertEqual(keyrecv("", 128, 60, 64), ["ch: 1", "flag: 0", "vel: 64", "pitch: 60"])
        self.assertEqual(keyrecv("0", 159, 60, 0), ["ch: 16", "flag: 0", "vel: 0", "pitch: 60"])

    def test_one_channel(self):
        self.assertEqual(keyrecv("2", 144, 60, 100), [])
        self.assertEqual(keyrecv("2", 145, 60, 100, 62, 0),
                         ["flag: 1", "vel: 100", "pitch: 60", "flag: 0", "vel: 0", "pitch: 62"])
        self.assertEqual(keyrecv("16", 143, 1, 2), ["flag: 0", "vel: 2", "pitch: 1"])
        self.assertEqual(keyrecv("1.9", 144, 1, 2), ["flag: 1", "vel: 2", "pitch: 1"])
        # a note on another channel is refused and clears the held status
        self.assertEqual(keyrecv("1", 144, 60, 145, 100, 62, 100), [])
        # outside 1..16 nothing ever matches
        every_channel = [s for c in range(144, 160) for s in (c, 60, 100)]
        for arg in ("17", "-1", "-1e10", "1e10"):
            with self.subTest(arg=arg):
                self.assertEqual(keyrecv(arg, *every_channel), [])
        # the channel is compared as 8 bits: 257 - 1 wraps to channel 1
        self.assertEqual(keyrecv("257", *every_channel), ["flag: 1", "vel: 100", "pitch: 60"])

    def test_other_kinds_and_interruptions(self):
        self.assertEqual(keyrecv("", 176, 7, 100, 60, 100), [])
        self.assertEqual(keyrecv("", 144, 60, 248, -3, 100), ["ch: 1", "flag: 1", "vel: 100", "pitch: 60"])
        self.assertEqual(keyrecv("", 144, 60, 256, 100, 60, 100), [])
        self.assertEqual(keyrecv("", 144, 60, 247, 100), [])

    def test_bad_messages(self):
        r = run(RECV % "" + "@0 k bang\n@0 k symbol x\n@0 k list 144 60\n@0 k float 100", allow_errors=True)
        self.assertEqual(r.console, ["error: keyrecv: no method for 'bang'",
                                     "error: keyrecv: no method for 'symbol'"])
        self.assertEqual(r.seq("pitch", "vel", "flag"), [])  # the list's 144 reached the float method only


class NoteRoundTripTest(unittest.TestCase):
    def test_note_offs_and_release_velocities_survive(self):
        notes = [(1, 100, 60, 3), (0, 64, 60, 3), (1, 0, 61, 16), (0, 127, 0, 1), (1, 1, 127, 9)]
        lines = []
        for flag, vel, pitch, ch in notes:
            lines += ["@0 s:3 float %d" % ch, "@0 s:2 float %d" % flag, "@0 s:1 float %d" % vel,
                      "@0 s float %d" % pitch]
        r = run("""
            s: keysend
            k: keyrecv
            s -> k
            k:0 => pitch
            k:1 => vel
            k:2 => flag
            k:3 => ch
        """ + "\n".join(lines))
        want = []
        for flag, vel, pitch, ch in notes:
            want += ["ch: %d" % ch, "flag: %d" % (flag and vel > 0), "vel: %d" % vel, "pitch: %d" % pitch]
        self.assertEqual(r.seq("pitch", "vel", "flag", "ch"), want)


if __name__ == "__main__":
    unittest.main()
