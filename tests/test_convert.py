"""pack~ and unpack~ in the host: lists from blocks, the ring, the pair."""
import unittest

from bench import TINY, block, run

SIZES = (1, 2, 4, 8, 64, 256, 2048)


def ticks(n, count=2):  # top-level blocks that run `count` blocks of n
    return max(1, count * n // 64)


def ramp_list(a, b):
    return "list " + " ".join(str(v) for v in range(a, b + 1))


def played(r, name="out"):
    return [float(v) for line in r[name] for v in line.split()]


class PackTest(unittest.TestCase):
    def test_one_list_after_each_tick_holding_the_latest_block(self):
        # blocks shorter than 64 run several times per top-level block; the
        # clock fires once after them and sends only the last one
        for n in SIZES:
            with self.subTest(block=n):
                r = run("""
                    f: feed~ ramp -3
                    p: pack~ 12
                    f ~> ref
                    f -> p
                    p => o
                """, block=n, blocks=ticks(n, 4))
                want = []
                for k, line in enumerate(r["ref"]):
                    want.append("ref: " + line)
                    if (k + 1) % max(1, 64 // n) == 0:
                        want.append("o: list " + line)
                self.assertEqual(r.seq("ref", "o"), want)
                self.assertEqual(r["ref"][0], block(range(-3, -3 + n)))

    def test_exact_values_dsp_off_and_rebuilds(self):
        r = run("""
            f: feed~ =nan =-0 =inf 1e-30 =tiny -2.5
            p: pack~
            f -> p
            p => o
            @1 pd dsp 0
        """, blocks=3)
        # bit for bit; one list for the one tick that ran
        self.assertEqual(r["o"], ["list " + block([float("nan"), -0.0, float("inf"), 1e-30, TINY, -2.5]
                                                  + [0] * 58)])
        r = run("""
            bl: block~ 64
            f: feed~ ramp 0
            p: pack~
            f -> p
            p => o
            @2 bl set 256
            @2 pd dsp 1
            @6 bl set 8
            @6 pd dsp 1
        """, blocks=7)
        self.assertEqual([len(l.split()) - 1 for l in r["o"]], [64, 64, 256, 8])
        self.assertEqual(r["o"][2:], ["list " + block(range(128, 384)), "list " + block(range(440, 448))])

    def test_a_receiver_that_rebuilds_dsp(self):
        # a's list, on its way out, first sets the block size and rebuilds
        # the DSP graph, then reaches a second receiver, which must still
        # read it; b's list, computed in the same tick and not sent yet, is
        # dropped when its block size changes and sent when it does not (the
        # host runs a, wired later, first, and so a's clock fires first)
        for size, dropped in ((256, True), (64, False)):
            with self.subTest(size=size):
                r = run("""
                    f: feed~ ramp 0
                    a: pack~
                    b: pack~
                    f -> b
                    f -> a
                    l: list length
                    s: sel 64
                    t: t b b
                    n: f %d
                    m: list prepend set
                    k: list trim
                    bs: s __block
                    d: f 1
                    dp: list prepend dsp
                    dk: list trim
                    ds: s pd
                    a -> l -> s -> t
                    t:1 -> n -> m -> k -> bs
                    t:0 -> d -> dp -> dk -> ds
                    a => first
                    b => second
                """ % size, block=64, blocks=5)
                if dropped:
                    lists = ["list " + block(range(64, 320))]
                    self.assertEqual(r["first"], ["list " + block(range(64))] + lists)
                    self.assertEqual(r["second"], lists)
                else:
                    lists = ["list " + block(range(k, k + 64)) for k in range(0, 320, 64)]
                    self.assertEqual(r["first"], lists)
                    self.assertEqual(r["second"], lists)


class UnpackTest(unittest.TestCase):
    def test_capacity_from_the_creation_argument(self):
        # a list longer than any ring, queued before the first block: exactly
        # `capacity` values are taken, in order, and the rest are dropped
        for arg, capacity in (("", 64), ("64", 64), ("100", 128), ("128", 128), ("-10", 64), ("-63", 64),
                              ("-64", 64), ("-1000", 64), ("0.9", 64), ("1e30", 300)):
            with self.subTest(arg=arg):
                r = run("""
                    u: unpack~ %s
                    u ~> out
                    @0 u %s
                """ % (arg, ramp_list(1, 300)), blocks=5)
                self.assertEqual(played(r), list(range(1, capacity + 1)) + [0] * (320 - capacity))

    def test_capacity_before_the_first_dsp_build(self):
        # queued before DSP is switched on, into the ring the creation made:
        # its capacity is already a multiple of 64 that the build keeps
        for arg, capacity, count in (("", 64, 100), ("100", 128, 300), ("1030", 1088, 1100)):
            with self.subTest(arg=arg):
                blocks = capacity // 64 + 2
                r = run("""
                    u: unpack~ %s
                    u ~> out
                    @0 u %s
                    @0 pd dsp 1
                """ % (arg, ramp_list(1, count)), dsp=False, blocks=blocks)
                self.assertEqual(played(r), list(range(1, capacity + 1)) + [0] * (64 * blocks - capacity))

    def test_full_ring_short_queue_and_symbols(self):
        # read position midway: 127 values wait, the 128th and later drop
        r = run("""
            u: unpack~ 128
            u ~> out
            @1 u %s
        """ % ramp_list(1, 200), blocks=4)
        self.assertEqual(played(r), [0] * 64 + list(range(1, 128)) + [0] * 65)
        # a short queue ends with zeros and what follows starts the next block
        r = run("""
            u: unpack~ 128
            u ~> out
            @0 u list 1 2 =s:sym 4 5 6 7 8 9 10
            @1 u float 11
            @1 u list 12 13
            @3 u float 14
        """, blocks=4)
        self.assertEqual(r["out"], [block([1, 2, 0, 4, 5, 6, 7, 8, 9, 10] + [0] * 54),
                                    block([11, 12, 13] + [0] * 61), block([0] * 64), block([14] + [0] * 63)])
        # each list queues its own atoms and no more, an empty one none
        r = run("""
            u: unpack~
            u ~> out
            @0 u list 1 2 3
            @0 u float 4
            @0 u list 5
            @0 u list
            @0 u float 6
        """)
        self.assertEqual(r["out"], [block([1, 2, 3, 4, 5, 6] + [0] * 58)])

    def test_every_block_size(self):
        for n in SIZES:
            with self.subTest(block=n):
                count = min(n + n // 2 + 1, 64)  # crosses a block boundary
                r = run("""
                    u: unpack~
                    u ~> out
                    @0 u %s
                """ % ramp_list(1, count), block=n, blocks=ticks(n))
                got = played(r)
                self.assertEqual(got, list(range(1, count + 1)) + [0] * (len(got) - count))
                self.assertEqual({len(l.split()) for l in r["out"]}, {n})

    def test_rebuilds(self):
        def rebuilt(arg, queued, then="", blocks=5):
            # queued after the first block, then blocks of 128 from the next
            return played(run("""
                bl: block~ 64
                u: unpack~ %s
                u ~> out
                @1 u %s
                @1 bl set 128
                @1 pd dsp 1
                %s
            """ % (arg, queued, "@1 u " + then if then else ""), blocks=blocks))

        # capacity 256 read in blocks of 64, rebuilt for blocks of 128 while
        # the read position is 64: the queue keeps its order, reads stay inside
        self.assertEqual(rebuilt("256", ramp_list(1, 300), blocks=7), [0] * 64 + list(range(1, 256)) + [0] * 129)
        # and a value queued after the rebuild follows the 100 waiting
        self.assertEqual(rebuilt("256", ramp_list(1, 100), "float 7"), [0] * 64 + list(range(1, 101)) + [7] + [0] * 155)
        # a new ring: the next multiple of 128 above the old capacity (64
        # gives 128, 192 gives 256), empty and open even when the old one
        # was full
        for arg, capacity in (("", 128), ("192", 256)):
            with self.subTest(arg=arg):
                self.assertEqual(rebuilt(arg, ramp_list(1, 192), ramp_list(1001, 1300), blocks=7),
                                 [0] * 64 + list(range(1001, 1001 + capacity)) + [0] * (384 - capacity))
        # capacity 128 rebuilt for blocks of 256: 256 samples, queue emptied
        r = run("""
            bl: block~ 64
            u: unpack~ 100
            u ~> out
            @0 u %s
            @1 bl set 256
            @1 pd dsp 1
            @5 u float 7
        """ % ramp_list(1, 128), blocks=9)
        self.assertEqual(played(r), list(range(1, 65)) + [0] * 256 + [7] + [0] * 255)


class PairTest(unittest.TestCase):
    def test_pack_into_unpack(self):
        # one block later for blocks of 64 and more; shorter blocks return
        # only the latest of each tick
        for n in (16, 64, 256, 2048):
            with self.subTest(block=n):
                r = run("""
                    f: feed~ ramp 1
                    p: pack~
                    u: unpack~
                    f -> p
                    p -> u
                    u ~> out
                """, block=n, blocks=ticks(n, 3) if n >= 64 else 3)
                if n >= 64:
                    values = [0.0] * n + [float(v) for v in range(1, 2 * n + 1)]
                else:
                    values = [0.0] * 64 + list(range(49, 65)) + [0.0] * 48 + list(range(113, 129)) + [0.0] * 48
                self.assertEqual(played(r), values)

    def test_banner_and_plain_help(self):
        r = run("""
            p: pack~
            u: unpack~
            @0 p help
            @0 u help
        """)
        self.assertEqual(r.banners()[0::2], [
            "[pack~] part of vesk-2.2.5.1wideset (compiled: Aug  8 2013)",
            "[unpack~] part of vesk-2.2.5.1wideset (compiled: Aug  8 2013)"])
        self.assertIn("pack~\t:: outputs the signal-vectors as float-packages", r.console)
        self.assertIn("unpack~\t:: outputs a sequence of floats as a signal", r.console)


if __name__ == "__main__":
    unittest.main()
