"""silence~ in the host: each way of switching it, to the block, and its
whole help text."""
import unittest

from bench import run


class SilenceSwitchTest(unittest.TestCase):
    def test_each_switch_takes_effect_at_its_block(self):
        # float 1 and NaN switch on, float 0 and "off" switch off, bang and
        # float 3 switch on again; a report comes from inside the block, so
        # it precedes that block's reference line
        r = run("""
            f: feed~ loop 1
            s: silence~
            f ~> ref
            f -> s
            s => o
            @2 s float 1
            @3 f set loop 0
            @4 s float 0
            @5 f set loop 2
            @6 s float =nan
            @7 s off
            @7 f set loop 0
            @8 s bang
            @9 s float 0
            @9 f set loop 5
            @10 s float 3
            @11 s float -1
            @11 f set loop 0
        """, blocks=12)
        seq = r.seq("ref", "o")
        reports = [(sum(1 for l in seq[:i] if l.startswith("ref: ")),
                    line[3:]) for i, line in enumerate(seq) if line.startswith("o: ")]
        self.assertEqual(reports, [(2, "1"), (3, "0"), (6, "1"), (8, "0"), (10, "1"), (11, "0")])

    def test_help_text(self):
        r = run("""
            s: silence~
            @0 s help
        """)
        text = "\n".join(r.console)
        self.assertIn("\n\n@ silence~-object :: for detecting whether a signal is currently zero or not\n"
                      "'bang'\t: turn the detector on\n'off'\t: turn it off\n<1/0>\t: turn it on/off\n"
                      "'help'\t: view this\nsignal~\noutlet :: 1/0\t: signal turned to non-zero/zero\n", text)


if __name__ == "__main__":
    unittest.main()
