"""route~ in the host: messages leave outlet 2 unchanged, the signal passes."""
import math
import unittest

from bench import TINY, block, run

MESSAGES = ["list 1 2 3", "foo =s:bar 4", "bang", "float 5", "symbol x", "list", "list 7", "list a b",
            "set 1 =s:two%20words", "float =nan", "float =-0", "symbol =s:", "anything 1"]


class RouteTest(unittest.TestCase):
    def test_every_message_kind_passes_unchanged(self):
        # what route~ forwards must print exactly like the same message sent
        # straight to a recorder; with DSP on or off
        for dsp in (True, False):
            with self.subTest(dsp=dsp):
                script = """
                    r: route~
                    d: rec direct
                    r:1 => via
                """ + "\n".join("@0 r %s\n@0 d %s" % (m, m) for m in MESSAGES)
                res = run(script, dsp=dsp)
                self.assertEqual(len(res["direct"]), len(MESSAGES))
                self.assertEqual(res["via"], res["direct"])

    def test_signal_passes_untouched(self):
        values = "0.5 =-0 =nan =-nan =inf =-inf =tiny =-tiny -3e38 1e-30"
        want = [0.5, -0.0, math.nan, -math.nan, math.inf, -math.inf, TINY, -TINY, -3e38, 1e-30]
        for n in (1, 2, 4, 8, 64, 256, 2048):
            for separate in (False, True):
                with self.subTest(block=n, separate=separate):
                    r = run("""
                        f: feed~ %s
                        r: route~
                        %s
                        f -> r
                        r:0 ~> out
                        r:1 => msg
                        @0 r list 1 2
                    """ % (values, "f ~> ref" if separate else ""), block=n, blocks=max(1, 2 * n // 64))
                    self.assertEqual(r.inplace("out"), not separate)
                    got = " ".join(r["out"]).split()
                    self.assertEqual(" ".join(got[:10]), block(want))
                    self.assertEqual(set(got[10:]), {"0"})
                    self.assertEqual(r["msg"], ["list 1 2"])

    def test_dsp_without_signals_becomes_a_message(self):
        # called with no signal array (C code may call it so), "dsp" registers
        # nothing and leaves outlet 2 as a message of its own, with no
        # arguments ([list length] counts the selector of any other message)
        r = run("""
            n: nodsp
            r: route~
            l: list length
            n -> r
            r:1 => msg
            r:1 -> l
            l => length
            @0 n bang
            @0 n bang
        """, dsp=False)
        self.assertEqual(r["msg"], ["dsp", "dsp"])
        self.assertEqual(r["length"], ["1", "1"])

    def test_typed_dsp_and_signal_are_not_forwarded(self):
        r = run("""
            f: feed~ loop 2
            r: route~
            f -> r
            r:0 ~> out
            r:1 => msg
            @0 r dsp
            @0 r signal
            @0 r help
        """, block=4, allow_errors=True)
        self.assertEqual(r["msg"], ["help"])  # route~ has no help of its own
        self.assertEqual(len(r.dsp("out")), 1)
        self.assertEqual([l for l in r.console if l.startswith("error")],
                         ["error: bad arguments for message 'dsp' to object 'route~'"])
        self.assertEqual(r.banners()[0], "[route~] part of vesk-2.2.5.1wideset (compiled: Aug  8 2013)")


if __name__ == "__main__":
    unittest.main()
