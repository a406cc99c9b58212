"""halfturn~ and retro~ in the host: reordering within each block."""
import unittest

from bench import block, run

SIZES = (1, 2, 4, 8, 64, 256, 2048)


def halfturn(values):
    h = len(values) // 2
    return values[h:] + values[:h]


def retro(values):
    return values[::-1]


def per_block(f, values, n):
    return [block(f(values[i:i + n])) for i in range(0, len(values), n)]


class ReorderTest(unittest.TestCase):
    def test_block_sizes_in_place_and_separate(self):
        # the output of a block is made from that same block's input
        for cls, f in (("halfturn~", halfturn), ("retro~", retro)):
            for n in SIZES:
                blocks = max(2, 2 * n // 64)
                ramp = [float(i) for i in range(64 * blocks)]
                for separate in (False, True):
                    with self.subTest(cls=cls, block=n, separate=separate):
                        r = run("""
                            f: feed~ ramp 0
                            t: %s
                            %s
                            f -> t ~> out
                        """ % (cls, "f ~> ref" if separate else ""), block=n, blocks=blocks)
                        self.assertEqual(r.inplace("out"), not separate)
                        self.assertEqual(r["out"], per_block(f, ramp, n))

    def test_float_switches_pass_through(self):
        # 0 passes through from the next block; 1, -2 and NaN reorder again
        for cls, f in (("halfturn~", halfturn), ("retro~", retro)):
            for on in ("1", "-2", "=nan"):
                with self.subTest(cls=cls, on=on):
                    r = run("""
                        f: feed~ ramp 0
                        t: %s
                        f -> t ~> out
                        @1 t float 0
                        @2 t float %s
                    """ % (cls, on), block=64, blocks=3)
                    ramp = [float(i) for i in range(192)]
                    self.assertEqual(r["out"], [block(f(ramp[:64])), block(ramp[64:128]), block(f(ramp[128:]))])

    def test_buffer_grows_and_stays_after_block_size_changes(self):
        # 64, then 128 (the buffer grows), then back to 64 (it is kept),
        # then 2048; in place and with separate buffers
        for cls, f in (("halfturn~", halfturn), ("retro~", retro)):
            for separate in (False, True):
                with self.subTest(cls=cls, separate=separate):
                    r = run("""
                        b: block~ 64
                        f: feed~ ramp 0
                        t: %s
                        %s
                        f -> t ~> out
                        @1 b set 128
                        @1 pd dsp 1
                        @3 b set 64
                        @3 pd dsp 1
                        @4 b set 2048
                        @4 pd dsp 1
                    """ % (cls, "f ~> ref" if separate else ""), blocks=4 + 32)
                    self.assertEqual([d.split()[1] for d in r.dsp("out")], ["64", "128", "64", "2048"])
                    ramp = [float(i) for i in range(64 * 36)]
                    want = [block(f(ramp[0:64])), block(f(ramp[64:192])), block(f(ramp[192:256])),
                            block(f(ramp[256:2304]))]
                    self.assertEqual(r["out"], want)

    def test_help_texts(self):
        r = run("""
            h: halfturn~
            t: retro~
            @0 h help
            @0 t help
        """)
        text = "\n".join(r.console)
        self.assertIn("\n\n@ halfturn~-object for blockwise-swapping of a signal \n'help' : view this\nsignal~\n"
                      "outlet : signal~", text)
        self.assertIn("\n\n@ retro~-object for reverting a signal\n'help' : view this\nsignal~\noutlet : signal~",
                      text)


if __name__ == "__main__":
    unittest.main()
