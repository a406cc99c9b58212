"""quantize~ and swap~ in the host: steps, byte swaps, out-of-range input."""
import math
import struct
import unittest
from fractions import Fraction

from bench import FLOATSIZE, TINY, SignalCase, block, run, tf, xform


def round_host(fr):
    """A Fraction rounded once to the nearest t_sample (ties to even)."""
    if fr == 0:
        return 0.0
    if FLOATSIZE == 64:
        return float(fr)  # Fraction to float rounds once
    # through a double first (rounded twice), then the nearest of the
    # neighbours; beyond the largest float an infinity
    v = tf(float(fr))
    if math.isinf(v):
        return v
    b = struct.unpack("I", struct.pack("f", v))[0]
    near = [struct.unpack("f", struct.pack("I", b + d))[0] for d in (-1, 0, 1)]
    near = [x for x in near if math.isfinite(x)]
    return min(near, key=lambda v: (abs(Fraction(v) - fr), struct.unpack("I", struct.pack("f", v))[0] & 1))


def saturate(x, lo, hi):
    """x truncated toward zero into [lo, hi]; NaN gives 0."""
    if isinstance(x, int):
        return max(lo, min(hi, x))
    if math.isnan(x):
        return 0
    return max(lo, min(hi, math.trunc(x) if math.isfinite(x) else (hi if x > 0 else lo)))


def quantize(x, q, dq=None):
    """quantize~'s sample: the exact product truncated and saturated, times
    the step (1 / q in the host's precision, or dq as the host made it),
    rounded once."""
    x, q = tf(x), tf(q)
    p = Fraction(x) * Fraction(q) if math.isfinite(x) else x * q
    k = saturate(p if not isinstance(p, Fraction) else math.trunc(p), -2 ** 31, 2 ** 31 - 1)
    return round_host(Fraction(k) * Fraction(round_host(1 / Fraction(q)) if dq is None else dq))


def swap(x):
    u = saturate(tf(x) * 32768, -32768, 32767) & 0xffff
    u = ((u >> 8) | (u << 8)) & 0xffff
    return (u - 0x10000 if u >= 0x8000 else u) / 32768


INPUTS = "0.5 -0.5 0.3 -0.3 0.99 0.00001 -0.00004 =-0 1 -1 1.5 -2 =nan =inf =-inf 1e30 -1e30"
VALUES = [0.5, -0.5, 0.3, -0.3, 0.99, 0.00001, -0.00004, -0.0, 1, -1, 1.5, -2, math.nan, math.inf, -math.inf,
          1e30, -1e30]


class QuantizeTest(SignalCase):
    def test_settings(self):
        # default and 0 are 16 bit; a later message replaces any setting; -4
        # gives what 4 gives, but for saturated samples in double precision,
        # where (2^31 - 1) / 4 and 2^31 / 4 are both numbers
        for setup, q in (("", 32768), ("4", 4), ("-4", -4), ("3", 3), ("0", 32768), ("\n@0 q 8bit", 128),
                         ("4\n@0 q 8bit\n@0 q 16bit", 32768), ("\n@0 q 8bit\n@0 q float 10", 10), ("1e9", 1e9),
                         ("11", 11)):  # 1/11 has its two last bits clear: the product fits a double
            with self.subTest(setup=setup):
                r = run("f: feed~ %s\nq: quantize~ %s\nf -> q ~> out" % (INPUTS, setup), block=32)
                self.assertSame(r["out"][0].split()[:17], block(quantize(v, q) for v in VALUES).split())
        r = run("f: feed~ 0.3 -0.3 0.99 0.00001 -0.00004\nq: quantize~ 4\nf -> q ~> out\n@0 q 8bit", block=8)
        self.assertSame(r["out"][0], block([0.296875, -0.296875, 126 / 128, 0, 0, 0, 0, 0]))
        # one last mantissa bit more than a power of two: the product is
        # formed exactly, just below 1 for 1 - 2^-m times 1 + 2^-m, where a
        # product rounded first would be 1
        m = 23 if FLOATSIZE == 32 else 52
        q, x = 1 + 2.0 ** -m, 1 - 2.0 ** -m
        r = run("f: feed~ %s %s 3\nq: quantize~\nf -> q ~> out\n@0 q float %s" % (xform(x), xform(-x), xform(q)),
                block=8)
        self.assertSame(r["out"][0], block(quantize(v, q) for v in (x, -x, 3, 0, 0, 0, 0, 0)))
        self.assertSame(r["out"][0].split()[:2], ["0", "0"])

    def test_zero_and_bare_float_pass_through_bit_for_bit(self):
        # so do a subnormal number of steps (its reciprocal infinite, or for
        # the largest subnormal a number), an infinite one and NaN
        largest_subnormal = TINY * (2 ** (23 if FLOATSIZE == 32 else 52) - 1)
        for arg, msg in (("4", "float 0"), ("4", "float"), ("4", "float =-0"), ("4", "float " + xform(TINY * 0xffff)),
                         ("4", "float " + xform(largest_subnormal)),
                         ("4", "float =inf"), ("4", "float =-inf"), ("4", "float =nan")):
            for separate in (False, True) if msg == "float 0" else (False,):
                with self.subTest(arg=arg, msg=msg, separate=separate):
                    r = run("f: feed~ %s =tiny =-nan\nq: quantize~ %s\n%s\nf -> q ~> out\n@0 q %s" % (
                        INPUTS, arg, "f ~> ref" if separate else "", msg), block=32)
                    self.assertSame(r.inplace("out"), not separate)
                    self.assertSame(r["out"][0].split()[:19], (block(VALUES + [TINY]) + " -nan").split())

    def test_steps_so_many_that_one_step_is_subnormal(self):
        # 1 / q below the smallest normal number: the step is what the host's
        # own division makes of it (the tested hosts flush it to 0, and every
        # product is then 0), not pass-through
        q = 3e38 if FLOATSIZE == 32 else 1e308
        probe = run("s: sig~ 1\nd: /~ %r\ns -> d ~> step" % q)
        dq = float(probe["step"][0].split()[0])
        for sign, separate in ((1, False), (-1, False), (1, True)):
            with self.subTest(q=sign * q, separate=separate):
                r = run("f: feed~ %s\nq: quantize~ %r\n%s\nf -> q ~> out" % (
                    INPUTS, sign * q, "f ~> ref" if separate else ""), block=32)
                self.assertSame(r.inplace("out"), not separate)
                self.assertSame(r["out"][0].split()[:17], block(quantize(v, sign * q, sign * dq) for v in VALUES).split())

    def test_product_rounded_once(self):
        # in single precision k * (1/q) needs more bits than a double holds
        # here; rounding it through a double first gives 890522.125 and
        # 415894.875
        r = run("f: feed~ 890522.125 -890522.125\nq: quantize~ 1492.8851318359375\nf -> q ~> out", block=2)
        self.assertSame(r["out"][0], block(quantize(v, 1492.8851318359375) for v in (890522.125, -890522.125)))
        r = run("f: feed~ 415894.875\nq: quantize~ 3162.313720703125\nf -> q ~> out", block=1)
        self.assertSame(r["out"][0], block([quantize(415894.875, 3162.313720703125)]))
        if FLOATSIZE == 32:
            self.assertSame(quantize(415894.875, 3162.313720703125), 415894.84375)
            self.assertSame(quantize(890522.125, 1492.8851318359375), 890522.1875)

    def test_block_sizes_in_place_and_separate(self):
        for n in (1, 2, 4, 8, 64, 256, 2048):
            blocks = max(1, n // 64)
            for separate in (False, True):
                with self.subTest(block=n, separate=separate):
                    r = run("""
                        f: feed~ ramp -40
                        q: quantize~ 0.25
                        %s
                        f -> q ~> out
                        s: swap~
                        g: feed~ ramp -40
                        %s
                        g -> s ~> sw
                    """ % (("f ~> ref", "g ~> gref") if separate else ("", "")), block=n, blocks=blocks)
                    self.assertSame(r.inplace("out"), not separate)
                    self.assertSame(r.inplace("sw"), not separate)
                    ramp = [-40 + i for i in range(64 * blocks)]
                    self.assertSame(" ".join(r["out"]).split(), block(quantize(v, 0.25) for v in ramp).split())
                    self.assertSame(" ".join(r["sw"]).split(), block(swap(v) for v in ramp).split())


class SwapTest(SignalCase):
    def test_values(self):
        r = run("f: feed~ %s %r %r\ns: swap~\nf -> s ~> out" % (INPUTS, 2.0 ** -15, -2.0 ** -15), block=32)
        got = r["out"][0].split()
        self.assertSame(got[:17], block(swap(v) for v in VALUES).split())
        # 0.5, -0.5, 2^-15, -2^-15; 1.0 saturates to 0x7fff -> 0xff7f, -2 to 0x8000 -> 0x0080, NaN -> 0
        self.assertSame(got[:2] + got[17:19], block([0.001953125, 0.005859375, 0.0078125, -2.0 ** -15]).split())
        self.assertSame([got[8], got[11], got[12]], [block([-129 / 32768]), block([128 / 32768]), "0"])

    def test_switching(self):
        # on; float 0: through; bang: on; bang: through; NaN: on
        # (passing through in place and into a buffer of its own, in blocks
        # of 64 and in blocks shorter than 8)
        for n, separate in ((64, False), (64, True), (4, False), (4, True)):
            with self.subTest(block=n, separate=separate):
                on, off = [block([0.001953125] * n)] * (64 // n), [block([0.5] * n)] * (64 // n)
                r = run("f: feed~ loop 0.5\ns: swap~\n%s\nf -> s ~> out\n"
                        "@1 s float 0\n@2 s bang\n@3 s bang\n@4 s float =nan" % ("f ~> ref" if separate else ""),
                        block=n, blocks=5)
                self.assertSame(r.inplace("out"), not separate)
                self.assertSame(r["out"], on + off + on + off + on)

    def test_two_in_series_restore_every_16_bit_value(self):
        values = [(i - 32768) / 32768 for i in range(65536)]
        r = run("f: feed~ %s\na: swap~\nb: swap~\nf -> a -> b ~> out" % " ".join(repr(v) for v in values),
                block=2048, blocks=1024)
        self.assertSame(" ".join(r["out"]).split(), block(values).split())

    def test_help_texts(self):
        r = run("s: swap~\nq: quantize~\n@0 s help\n@0 q help")
        text = "\n".join(r.console)
        self.assertIn("\n\n@ swap~-object for byteswapping a signal\n<1/0>  : turn the swapper on/off\n'bang' : "
                      "toggle the swapper on/off\n'help' : view this\nsignal~\noutlet : signal~", text)
        self.assertIn("@ quantize~-object\t:: used for quantizing signals by various degrees\n<quants> : quantize", text)
        self.assertIn("'help'   : view this\nsignal~\n\ncreation:: \"quantize~ [<quants>]\"", text)


if __name__ == "__main__":
    unittest.main()
