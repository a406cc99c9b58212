"""idlestep in the host: the scheduler's sleep grain, set and reported."""
import unittest

from bench import FLOATSIZE, fmt, run

# the largest number below 2^31 the host's float holds: the largest grain taken
BIGGEST = 2147483647 if FLOATSIZE == 64 else 2147483520


class IdlestepTest(unittest.TestCase):
    def test_reports_the_hosts_own_setting(self):
        # -sleepgrain is given in milliseconds; the host keeps microseconds
        r = run("""
            i: idlestep
            i => o
            @0 i bang
        """, args=["-sleepgrain", "3"])
        self.assertEqual(r["o"], ["3000"])

    def test_set_refuse_and_share(self):
        refused = ["0", "0.5", "0.999", "-3", "=-0", "=nan", "=inf", "=-inf", "1e10", "2147483648", "-2147483649"]
        script = """
            i: idlestep
            j: idlestep
            i => a
            j => b
            @0 i float 5
            @0 j bang
            @0 j float 2.9
            @0 i bang
        """ + "\n".join("@0 i float " + v for v in refused) + ("""
            @0 j bang
            @0 j float %d
            @0 i bang
            @0 i float 1
            @0 j bang
        """ % BIGGEST)
        r = run(script, allow_errors=True)
        self.assertEqual(r.seq("a", "b"), ["b: 5", "a: 2", "b: 2", "a: " + fmt(BIGGEST), "b: 1"])
        errors = [l for l in r.console if l.startswith("error")]
        self.assertEqual(errors, ["error: [idlestep]: idlestep cannot be <= 0"] * len(refused))

    def test_banner_no_help_no_dsp(self):
        r = run("""
            i: idlestep
            @0 i help
            @0 i dsp
        """, allow_errors=True)
        self.assertEqual(r.banners(), [
            "[idlestep] part of vesk-2.2.5.1wideset (compiled: Jan 25 2013)",
            "\tcopyright (c) 2026 the tessel developers; BSD 3-clause licence"])
        self.assertIn("error: idlestep: no method for 'help'", r.console)
        self.assertIn("error: idlestep: no method for 'dsp'", r.console)


if __name__ == "__main__":
    unittest.main()
