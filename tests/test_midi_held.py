"""hushnotes, flush and sustain in the host: counts per key, draining in
ascending order, pass-through order, saturation at 255."""
import unittest

from bench import run


def feed(target, *values, at=0):
    lines = []
    for v in values:
        if isinstance(v, str) and not v.startswith("="):
            lines.append("@%d %s %s" % (at, target, v))  # a message such as 'bang' or 'clear'
        else:
            lines.append("@%d %s float %s" % (at, target, v))
    return "\n".join(lines)


def hush(*values):
    """The bytes hushnotes sends, as numbers."""
    r = run("h: hushnotes\nh => out\n" + feed("h", *values))
    return [float(v) for v in r["out"]]


class HushnotesTest(unittest.TestCase):
    def test_echo_and_release(self):
        self.assertEqual(hush(144, 60, 100, "bang"), [144, 60, 100, 144, 60, 0])
        self.assertEqual(hush(144, 60, 100, 128, 60, 64, "bang"), [144, 60, 100, 128, 60, 64])
        # running status, note on with velocity 0 as the note off
        self.assertEqual(hush(144, 60, 100, 60, 0, "bang"), [144, 60, 100, 60, 0])
        # a note off into an empty table leaves the count at 0
        self.assertEqual(hush(128, 60, 64, "bang"), [128, 60, 64])

    def test_drain_order_and_counts(self):
        # channel first, then pitch; each held note on gives its own note off
        out = hush(145, 60, 100, 144, 62, 100, 61, 1, 61, 2, "bang")
        self.assertEqual(out[10:], [144, 61, 0, 144, 61, 0, 144, 62, 0, 145, 60, 0])
        # drained: a second bang sends nothing
        self.assertEqual(hush(144, 60, 100, "bang", "bang"), [144, 60, 100, 144, 60, 0])

    def test_realtime_bytes_do_not_lose_notes(self):
        # a MIDI clock between the bytes of a note on: every byte is echoed and
        # the note is still counted, so the bang releases it
        self.assertEqual(hush(144, 60, 248, 100, 250, "bang"), [144, 60, 248, 100, 250, 144, 60, 0])
        self.assertEqual(hush(144, 248, 60, 100, 254, 62, 100, "bang"),
                         [144, 248, 60, 100, 254, 62, 100, 144, 60, 0, 144, 62, 0])

    def test_other_status_and_out_of_range(self):
        # 300 is not echoed and drops the pending pitch; running status stays
        self.assertEqual(hush(144, 60, 300, 62, 100, "bang"), [144, 60, 62, 100, 144, 62, 0])
        # negative values, NaN and huge values behave like 300
        self.assertEqual(hush(144, 60, -1, "=nan", 1e10, 62, 100, "bang"), [144, 60, 62, 100, 144, 62, 0])
        # other channel status and system bytes clear the note status
        self.assertEqual(hush(144, 176, 60, 100, 240, 60, 100, "bang"), [144, 176, 60, 100, 240, 60, 100])
        # 127.9 passes as 127
        self.assertEqual(hush(144, 127.9, 1, "bang"), [144, 127, 1, 144, 127, 0])

    def test_edges_of_the_table(self):
        # pitch 0 on channel 1 and pitch 127 on channel 16, the first and
        # the last key of the table
        self.assertEqual(hush(159, 127, 1, 144, 0, 1, "bang"), [159, 127, 1, 144, 0, 1, 144, 0, 0, 159, 127, 0])

    def test_other_messages_leave_held_notes_alone(self):
        # a controller, a pressure and running data after them look like
        # notes on the same numbers but change no count
        self.assertEqual(hush(144, 60, 100, 176, 60, 0, 60, 0, 208, 60, 60, "bang"),
                         [144, 60, 100, 176, 60, 0, 60, 0, 208, 60, 60, 144, 60, 0])

    def test_a_status_byte_drops_the_pending_pitch(self):
        self.assertEqual(hush(144, 60, 144, 62, 100, "bang"), [144, 60, 144, 62, 100, 144, 62, 0])

    def test_clear_keeps_running_status(self):
        self.assertEqual(hush(144, 60, 100, "clear", "bang", 61, 100, "bang"),
                         [144, 60, 100, 61, 100, 144, 61, 0])

    def test_count_saturates_instead_of_wrapping(self):
        # 256 note ons for one key: the count holds at 255, it does not wrap to 0
        r = run("h: hushnotes\nh => out\n" + feed("h", 144, *([60, 100] * 256), "clear", 144,
                                                   *([61, 100] * 256), "bang"))
        echoed = 1 + 512 + 1 + 512
        self.assertEqual(len(r["out"]), echoed + 3 * 255)
        self.assertEqual(r["out"][echoed:], ["144", "61", "0"] * 255)


def pairs(r):
    return r.seq("vel", "pitch")


class FlushTest(unittest.TestCase):
    SCRIPT = "f: flush\nf:1 => vel\nf:0 => pitch\n"

    def test_pass_through_and_drain(self):
        r = run(self.SCRIPT + "@0 f:1 float 100\n" + feed("f", 62, 60, 60.9) + "\n@0 f:1 float 0\n"
                + feed("f", 62, 62, "bang", "bang"))
        self.assertEqual(pairs(r), ["vel: 100", "pitch: 62", "vel: 100", "pitch: 60", "vel: 100", "pitch: 60",
                                    "vel: 0", "pitch: 62", "vel: 0", "pitch: 62",  # second off: count stays 0
                                    "vel: 0", "pitch: 60", "vel: 0", "pitch: 60"])

    def test_fresh_object_and_edge_pitches(self):
        # the velocity starts at 0: a pitch alone is a note off; pitches 0
        # and 127 are held and released like any other
        r = run(self.SCRIPT + feed("f", 60) + "\n@0 f:1 float 1\n" + feed("f", 127, 0, "bang"))
        self.assertEqual(pairs(r), ["vel: 0", "pitch: 60", "vel: 1", "pitch: 127", "vel: 1", "pitch: 0",
                                    "vel: 0", "pitch: 0", "vel: 0", "pitch: 127"])

    def test_velocity_sent_as_received(self):
        r = run(self.SCRIPT + "@0 f:1 float 0.5\n" + feed("f", 60) + "\n@0 f:1 float =-0\n"
                + feed("f", 61, "bang"))
        # 0.5 is a note on; -0 a note off for an empty key
        self.assertEqual(pairs(r), ["vel: 0.5", "pitch: 60", "vel: -0", "pitch: 61", "vel: 0", "pitch: 60"])
        r = run(self.SCRIPT + "@0 f:1 float =nan\n" + feed("f", 60, "bang"))
        self.assertEqual(pairs(r), ["vel: nan", "pitch: 60", "vel: 0", "pitch: 60"])  # NaN is not 0

    def test_out_of_range_and_clear(self):
        r = run(self.SCRIPT + "@0 f:1 float 100\n" + feed("f", 128, -1, -0.5, "=nan", "=inf", 1e10, 60,
                                                         "clear", "bang"))
        self.assertEqual(pairs(r), ["vel: 100", "pitch: 0", "vel: 100", "pitch: 60"])

    def test_count_saturates(self):
        r = run(self.SCRIPT + "@0 f:1 float 1\n" + feed("f", *([60] * 300), "bang"))
        self.assertEqual(r["pitch"][300:], ["60"] * 255)


class SustainTest(unittest.TestCase):
    SCRIPT = "s: sustain\ns:1 => vel\ns:0 => pitch\n"

    def test_pedal_holds_note_offs(self):
        r = run(self.SCRIPT + """
            @0 s:2 float 1
            @0 s:1 float 0
            @0 s float 60
            @0 s float 60
            @0 s:1 float 90
            @0 s float 64
            @0 s:2 float 0.5
            @0 s:2 float 0
        """)
        # note ons pass at once; 0.5 truncates to 0 and releases; a second release sends nothing
        self.assertEqual(pairs(r), ["vel: 90", "pitch: 64", "vel: 0", "pitch: 60", "vel: 0", "pitch: 60"])

    def test_struck_again_still_released(self):
        r = run(self.SCRIPT + """
            @0 s:2 float 1
            @0 s:1 float 0
            @0 s float 60
            @0 s:1 float 100
            @0 s float 60
            @0 s:2 float 0
        """)
        self.assertEqual(pairs(r), ["vel: 100", "pitch: 60", "vel: 0", "pitch: 60"])

    def test_bang_keeps_pedal_down_and_order(self):
        r = run(self.SCRIPT + """
            @0 s:2 float =nan
            @0 s:1 float =-0
            @0 s float 62
            @0 s float 61
            @0 s bang
            @0 s float 70
            @0 s float 128
            @0 s float -1
            @0 s:2 float 0
        """)
        # NaN as pedal is a non-zero value: down. -0 is a note off.
        self.assertEqual(pairs(r), ["vel: 0", "pitch: 61", "vel: 0", "pitch: 62", "vel: 0", "pitch: 70"])

    def test_pedal_up_passes_note_offs(self):
        r = run(self.SCRIPT + "@0 s:1 float 0\n@0 s float 60\n@0 s:2 float 0\n@0 s bang")
        self.assertEqual(pairs(r), ["vel: 0", "pitch: 60"])

    def test_fresh_pedal_is_up_and_edge_pitches(self):
        # a fresh object passes note offs; pitches 0 and 127 are held back
        # and released like any other; once lifted, the pedal stays up
        r = run(self.SCRIPT + """
            @0 s float 60
            @0 s:2 float 1
            @0 s float 127
            @0 s float 0
            @0 s:2 float 0
            @0 s float 5
        """)
        self.assertEqual(pairs(r), ["vel: 0", "pitch: 60", "vel: 0", "pitch: 0", "vel: 0", "pitch: 127",
                                    "vel: 0", "pitch: 5"])

    def test_count_saturates(self):
        r = run(self.SCRIPT + "@0 s:2 float 1\n" + feed("s", *([5] * 260)) + "\n@0 s:2 float 0")
        self.assertEqual(r["pitch"], ["5"] * 255)


if __name__ == "__main__":
    unittest.main()
