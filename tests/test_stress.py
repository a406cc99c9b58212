"""DSP stress for the classes that own buffers: block sizes 64, 2048, 1, 128
and 64 again, a DSP restart, and the object deleted and made anew while DSP
runs; every block (or list) that comes out is checked against a model of
the class run over the same stream."""
import os
import tempfile
import unittest

from bench import fmt, run_patch

# block size for each phase, and the top-level block at which it starts
PHASES = [(64, 0), (2048, 2), (1, 66), (128, 68), (64, 75)]
RESTART = (72, 73)      # DSP off, then on again
RENEW = 77              # the object is deleted and made anew here
END = 80


def patch(inner, message_out=False):
    """main: feed~ ramp -> [pd victim: inlet~ -> inner... -> outlet(~)] -> printer."""
    victim = ["inlet~"] + inner + ["outlet" if message_out else "outlet~"]
    lines = ["#N canvas 0 50 600 400 10;", "#N canvas 0 50 600 400 main 0;",
             "#X obj 10 10 block~ 64;", "#X obj 10 40 r __block;", "#X obj 10 70 feed~ ramp 0;",
             "#N canvas 0 50 400 300 victim 0;"]
    lines += ["#X obj 10 %d %s;" % (10 + 30 * i, t) for i, t in enumerate(victim)]
    lines += ["#X connect %d 0 %d 0;" % (i, i + 1) for i in range(len(victim) - 1)]
    lines += ["#X restore 10 100 pd victim;", "#X obj 10 130 %s out;" % ("rec" if message_out else "blocks~"),
              "#X obj 10 160 r mark;", "#X obj 10 190 rec mark;", "#X obj 200 130 blocks~ in;",
              "#X connect 1 0 0 0;", "#X connect 2 0 7 0;", "#X connect 2 0 3 0;", "#X connect 3 0 4 0;",
              "#X connect 5 0 6 0;", "#X restore 10 10 pd main;"]
    ev = ["@0 pd dsp 1"]
    for size, at in PHASES[1:]:
        ev += ["@%d __block set %d" % (at, size), "@%d pd dsp 1" % at]
    ev += ["@%d pd dsp 0" % RESTART[0], "@%d pd dsp 1" % RESTART[1], "@%d mark renew" % RENEW,
           "@%d pd-victim clear" % RENEW]
    ev += ["@%d pd-victim obj 10 %d %s" % (RENEW, 10 + 30 * i, t) for i, t in enumerate(victim)]
    ev += ["@%d pd-victim connect %d 0 %d 0" % (RENEW, i, i + 1) for i in range(len(victim) - 1)]
    ev += ["@%d pd-main connect 2 0 3 0" % RENEW, "@%d pd-main connect 3 0 4 0" % RENEW, "@%d pd quit" % END]
    ev.sort(key=lambda e: int(e.split()[0][1:]))  # stable: same-tick events keep their order
    lines.append("#X obj 10 300 drive %s;" % " ".join(ev))
    return "\n".join(lines) + "\n"


def run_stress(inner, message_out=False):
    text = patch(inner, message_out)
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, "stress.pd")
        with open(path, "w") as f:
            f.write(text)
        return run_patch(path, patch_text=text)


def events(r):
    """The printed lines as (kind, values): input blocks, output, the renewal mark."""
    out = []
    for name, text in r.lines:
        if text.startswith("dsp "):
            continue
        if name == "mark":
            out.append(("mark", None))
        elif name == "in":
            out.append(("in", [float(v) for v in text.split()]))
        elif name == "out":
            vals = text.split()
            out.append(("out", [float(v) for v in (vals[1:] if vals and vals[0] == "list" else vals)]))
    return out


class StressTest(unittest.TestCase):
    def check_blocks(self, r, model):
        """model(block_in, renewed) -> expected output block. The host may print
        the output block before the input block of the same tick: they are
        paired by their order."""
        ins = [v for k, v in events(r) if k == "in"]
        outs = [v for k, v in events(r) if k == "out"]
        marks = [i for i, (k, _) in enumerate(e for e in events(r) if e[0] != "in") if k == "mark"]
        renew_at = marks[0]  # output blocks printed before the renewal
        self.assertEqual(len(ins), len(outs))
        for i, (block_in, block_out) in enumerate(zip(ins, outs)):
            want = model(block_in, i == renew_at)
            self.assertEqual(" ".join(fmt(v) for v in block_out), " ".join(fmt(v) for v in want), "block %d" % i)
        self.assertEqual({len(b) for b in ins}, {64, 2048, 1, 128})
        self.assertGreater(len(outs), 100)

    def test_z_delay_longer_and_shorter_than_blocks(self):
        for d in (3, 100, 3000):
            with self.subTest(delay=d):
                line = [0.0] * d

                def model(block, renewed):
                    if renewed:
                        line[:] = [0.0] * d
                    out = []
                    for x in block:
                        line.append(x)
                        out.append(line.pop(0))
                    return out
                self.check_blocks(run_stress(["z~ %d" % d]), model)

    def test_halfturn_and_retro(self):
        self.check_blocks(run_stress(["halfturn~"]),
                          lambda b, _: b[len(b) // 2:] + b[:len(b) // 2])
        self.check_blocks(run_stress(["retro~"]), lambda b, _: b[::-1])

    def test_pack_sends_the_latest_block(self):
        r = run_stress(["pack~"], message_out=True)
        last_in, lists = None, 0
        for kind, vals in events(r):
            if kind == "in":
                last_in = vals
            elif kind == "out":
                self.assertEqual(vals, last_in)
                lists += 1
        self.assertGreaterEqual(lists, 10)

    def test_pack_into_unpack_plays_what_was_queued_in_order(self):
        r = run_stress(["pack~", "unpack~"])
        played = [v for kind, vals in events(r) if kind == "out" for v in vals if v != 0]
        fed = {v for kind, vals in events(r) if kind == "in" for v in vals}
        self.assertGreater(len(played), 1000)
        self.assertTrue(set(played) <= fed)
        self.assertEqual(played, sorted(set(played)))   # never reordered, never twice
        # while the block size stays 64, each block comes back whole one block later
        ins = [vals for kind, vals in events(r) if kind == "in"]
        outs = [vals for kind, vals in events(r) if kind == "out"]
        self.assertEqual(outs[1], ins[0])


if __name__ == "__main__":
    unittest.main()
