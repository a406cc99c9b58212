"""pack~ and unpack~ in the host: lists from blocks, the ring, the pair."""
import unittest

from bench import block, run

SIZES = (1, 2, 4, 8, 64, 256, 2048)


def blocks_for(n, count=2):
    """Top-level blocks needed to run `count` blocks of size n."""
    return max(1, count * n // 64)


class PackTest(unittest.TestCase):
    def test_one_list_after_each_tick_holding_the_latest_block(self):
        # Blocks shorter than 64 run several times per top-level block; the
        # clock fires once after them and sends only the last one.
        for n in SIZES:
            with self.subTest(block=n):
                r = run("""
                    f: feed~ ramp -3
                    p: pack~ 12
                    f ~> ref
                    f -> p
                    p => o
                """, block=n, blocks=blocks_for(n, 4))
                per_tick = max(1, 64 // n)
                want = []
                for k, line in enumerate(r["ref"]):
                    want.append("ref: " + line)
                    if (k + 1) % per_tick == 0:
                        want.append("o: list " + line)
                self.assertEqual(r.seq("ref", "o"), want)
                self.assertEqual(len(r["o"][-1].split()), n + 1)
                self.assertEqual(r["ref"][0], block(range(-3, -3 + n)))

    def test_exact_values_and_dsp_off(self):
        # samples are copied bit for bit: NaN, -0, infinities, subnormals
        r = run("""
            f: feed~ =nan =-0 =inf 1e-30 =x:00000001 -2.5
            p: pack~
            f -> p
            p => o
        """, block=64, blocks=1)
        self.assertEqual(r["o"], ["list " + block([float("nan"), -0.0, float("inf"), 1e-30, 1.4e-45, -2.5]
                                                  + [0] * 58)])
        # DSP switched off after the first tick: that tick's list, then nothing
        r = run("""
            f: feed~ ramp 0
            p: pack~
            f -> p
            p => o
            @1 pd dsp 0
        """, block=8, blocks=3)
        self.assertEqual(r["o"], ["list " + block(range(56, 64))])
        r = run("""
            f: feed~ 1
            p: pack~
            f -> p
            p => o
        """, dsp=False, blocks=3)
        self.assertEqual(r["o"], [])

    def test_rebuild_with_another_block_size(self):
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
        lengths = [len(l.split()) - 1 for l in r["o"]]
        self.assertEqual(lengths, [64, 64, 256, 8])
        self.assertEqual(r["o"][2], "list " + block(range(128, 384)))
        self.assertEqual(r["o"][3], "list " + block(range(440, 448)))


def ramp_list(a, b):
    return "list " + " ".join(str(v) for v in range(a, b + 1))


class UnpackTest(unittest.TestCase):
    def played(self, r, name="out"):
        return [float(v) for line in r[name] for v in line.split()]

    def test_capacity_from_the_creation_argument(self):
        # A list longer than any ring, queued before the first block: exactly
        # `capacity` values are taken, in order, and the rest are dropped.
        for arg, capacity in (("", 64), ("64", 64), ("100", 128), ("128", 128), ("-10", 64), ("-63", 64),
                              ("-64", 64), ("-1000", 64), ("0.9", 64), ("1e30", 300)):
            with self.subTest(arg=arg):
                r = run("""
                    u: unpack~ %s
                    u ~> out
                    @0 u %s
                """ % (arg, ramp_list(1, 300)), blocks=5)
                self.assertEqual(self.played(r), list(range(1, capacity + 1)) + [0] * (320 - capacity))

    def test_full_ring_with_the_read_position_midway(self):
        # capacity 128, block 64, after one block: 127 values wait, the 128th
        # and later are dropped, and they play in the order queued.
        r = run("""
            u: unpack~ 128
            u ~> out
            @1 u %s
        """ % ramp_list(1, 200), blocks=4)
        self.assertEqual(self.played(r), [0] * 64 + list(range(1, 128)) + [0] * 65)

    def test_short_queue_and_following_values_start_the_next_block(self):
        r = run("""
            u: unpack~ 128
            u ~> out
            @0 u list 1 2 =s:sym 4 5 6 7 8 9 10
            @1 u float 11
            @1 u list 12 13
            @3 u float 14
        """, blocks=5)
        self.assertEqual(r["out"], [block([1, 2, 0, 4, 5, 6, 7, 8, 9, 10] + [0] * 54),
                                    block([11, 12, 13] + [0] * 61), block([0] * 64),
                                    block([14] + [0] * 63), block([0] * 64)])

    def test_every_block_size(self):
        # a queue longer than one block crosses block boundaries in order
        for n in SIZES:
            with self.subTest(block=n):
                count = min(n + n // 2 + 1, 64)
                r = run("""
                    u: unpack~
                    u ~> out
                    @0 u %s
                """ % ramp_list(1, count), block=n, blocks=blocks_for(n, 2))
                got = self.played(r)
                want = list(range(1, count + 1))
                self.assertEqual(got[:count], want)
                self.assertEqual(set(got[count:]), {0.0})
                self.assertTrue(all(len(l.split()) == n for l in r["out"]))

    def test_rebuild_keeps_reads_inside_the_ring(self):
        # capacity 256 played in blocks of 64, then rebuilt for blocks of 128
        # while the read position is 64 (not a multiple of 128): the queue
        # keeps its order and every read stays inside the ring.
        r = run("""
            bl: block~ 64
            u: unpack~ 256
            u ~> out
            @1 u %s
            @1 bl set 128
            @1 pd dsp 1
        """ % ramp_list(1, 300), blocks=7)
        self.assertEqual(r.dsp("out"), ["dsp 64 own", "dsp 128 own"])
        self.assertEqual(self.played(r), [0] * 64 + list(range(1, 256)) + [0] * 129)

    def test_rebuild_that_changes_the_capacity_drops_the_queue(self):
        r = run("""
            bl: block~ 64
            u: unpack~ 100
            u ~> out
            @0 u %s
            @1 bl set 256
            @1 pd dsp 1
            @5 u float 7
        """ % ramp_list(1, 128), blocks=9)
        got = self.played(r)
        self.assertEqual(got[:64], list(range(1, 65)))
        # capacity 256 after the rebuild: what waited is lost; new values play
        self.assertEqual(got[64:320], [0] * 256)
        self.assertEqual(got[320:], [7] + [0] * 255)


class PairTest(unittest.TestCase):
    def test_pack_into_unpack_returns_the_signal_one_block_later(self):
        for n in (64, 256, 2048):
            with self.subTest(block=n):
                r = run("""
                    f: feed~ ramp 1
                    p: pack~
                    u: unpack~
                    f -> p
                    p -> u
                    u ~> out
                """, block=n, blocks=blocks_for(n, 3))
                values = [0.0] * n + [float(v) for v in range(1, 2 * n + 1)]
                self.assertEqual(r["out"], [block(values[i:i + n]) for i in range(0, 3 * n, n)])

    def test_short_blocks_return_only_the_latest_of_each_tick(self):
        r = run("""
            f: feed~ ramp 1
            p: pack~
            u: unpack~
            f -> p
            p -> u
            u ~> out
        """, block=16, blocks=3)
        self.assertEqual(r["out"], [block([0] * 16)] * 4 + [block(range(49, 65))] + [block([0] * 16)] * 3
                         + [block(range(113, 129))] + [block([0] * 16)] * 3)


class FrameTest(unittest.TestCase):
    def test_banner_and_plain_help(self):
        r = run("""
            p: pack~
            u: unpack~
            @0 p help
            @0 u help
        """)
        self.assertEqual(r.banners()[0::2], [
            "verbose(3): [pack~] part of vesk-2.2.5.1wideset (compiled: Aug  8 2013)",
            "verbose(3): [unpack~] part of vesk-2.2.5.1wideset (compiled: Aug  8 2013)"])
        self.assertIn("pack~\t:: outputs the signal-vectors as float-packages", r.console)
        self.assertIn("unpack~\t:: outputs a sequence of floats as a signal", r.console)


if __name__ == "__main__":
    unittest.main()
