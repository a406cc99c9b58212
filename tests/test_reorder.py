"""halfturn~ and retro~ in the host: reordering within each block."""
import unittest

from bench import SignalCase, block, run

CLASSES = (("halfturn~", lambda v: v[len(v) // 2:] + v[:len(v) // 2]), ("retro~", lambda v: v[::-1]))


def per_block(f, values, n):
    return [block(f(values[i:i + n])) for i in range(0, len(values), n)]


class ReorderTest(SignalCase):
    def test_block_sizes_in_place_and_separate(self):
        # each output block is made from the same block's input
        for cls, f in CLASSES:
            for n in (1, 2, 4, 8, 64, 256, 2048):
                blocks = max(2, 2 * n // 64)
                for separate in (False, True):
                    with self.subTest(cls=cls, block=n, separate=separate):
                        r = run("f: feed~ ramp 0\nt: %s\n%s\nf -> t ~> out" % (
                            cls, "f ~> ref" if separate else ""), block=n, blocks=blocks)
                        self.assertSame(r.inplace("out"), not separate)
                        self.assertSame(r["out"], per_block(f, list(range(64 * blocks)), n))

    def test_float_switches_pass_through(self):
        # 0 passes through from the next block (into the input's buffer or
        # a buffer of its own); 1, -2 and NaN reorder again
        for cls, f in CLASSES:
            for on, separate in (("1", False), ("-2", False), ("=nan", False), ("1", True)):
                with self.subTest(cls=cls, on=on, separate=separate):
                    r = run("f: feed~ ramp 0\nt: %s\n%s\nf -> t ~> out\n@1 t float 0\n@2 t float %s" % (
                        cls, "f ~> ref" if separate else "", on), block=64, blocks=3)
                    self.assertSame(r.inplace("out"), not separate)
                    ramp = list(range(192))
                    self.assertSame(r["out"], [block(f(ramp[:64])), block(ramp[64:128]), block(f(ramp[128:]))])

    def test_buffer_grows_and_stays_after_block_size_changes(self):
        # 64, then 128 (the buffer grows), back to 64 (it is kept), then 2048
        for cls, f in CLASSES:
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
                    self.assertSame([d.split()[1] for d in r.dsp("out")], ["64", "128", "64", "2048"])
                    ramp = list(range(64 * 36))
                    self.assertSame(r["out"], [block(f(ramp[a:b])) for a, b in
                                                ((0, 64), (64, 192), (192, 256), (256, 2304))])

    def test_help_texts(self):
        r = run("h: halfturn~\nt: retro~\n@0 h help\n@0 t help")
        text = "\n".join(r.console)
        self.assertIn("\n\n@ halfturn~-object for blockwise-swapping of a signal \n'help' : view this\nsignal~\n"
                      "outlet : signal~", text)
        self.assertIn("\n\n@ retro~-object for reverting a signal\n'help' : view this\nsignal~\noutlet : signal~",
                      text)


if __name__ == "__main__":
    unittest.main()
