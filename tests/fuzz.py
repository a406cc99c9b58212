#!/usr/bin/env python3
"""Message fuzzer: every class, in the real host.

For each class and seed, a patch is generated in which objects of the class
are created at run time (through messages to their subpatch, so creation
arguments can be NaN, infinities, -0, huge numbers or symbols), wired to a
noise source and to one receiver per inlet, and then sent thousands of
random messages (every selector the library knows, unknown selectors,
bang, floats with the special values, symbols, lists of 0 to 300 mixed
atoms), interleaved with DSP blocks, block-size changes, DSP restarts, and
deletion and re-creation of the objects. A crash, a sanitizer report or a
hang fails the run; the seed is printed so that the run can be replayed:

    python3 tests/fuzz.py --build build-asan --seeds 0-199          # long campaign
    python3 tests/fuzz.py --build build-asan --classes z~ --seeds 17  # replay one
"""
import argparse
import os
import random
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import bench  # noqa: E402

FLOATS = ["0", "1", "-1", "2", "3.9", "0.5", "-0.5", "7", "64", "100", "127", "128", "255", "256", "1000",
          "65535", "16383", "16384", "-64", "-65", "1e30", "-1e30", "3e38", "-3e38", "4294967296",
          "2147483648", "-2147483649", "16777217", "1e-30", "=nan", "=-nan", "=inf", "=-inf", "=-0",
          "=tiny", "=-tiny", "144", "176", "224", "240", "247", "248", "254"]
SYMBOLS = ["foo", "set", "bang", "float", "=s:", "=s:%20", "=s:%09%0A7", "=s:1%202%203", "=s:set%205",
           "=s:%3Bpd%20dsp%200", "=s:1%20foo", "=s:%24%31", "=s:,", "nan", "inf"]
SELECTORS = ["bang", "float", "symbol", "list", "foo", "set", "help", "clear", "dsp", "signal", "ft1", "ft2", "ft4", "ft5",
             "ft3", "bang1", "lst1", "lst2", "pause", "break", "resume", "continue", "8bit", "16bit", "off",
             "send", "reset", "anything", "loop"]
BLOCKS = [1, 2, 4, 8, 16, 64, 128, 256, 2048]
INLETS = 7  # the most any class has (bytecast)


def atom(rng):
    return rng.choice(FLOATS) if rng.random() < 0.75 else rng.choice(SYMBOLS)


def message(rng):
    sel = rng.choice(SELECTORS)
    r = rng.random()
    if sel == "list" and r < 0.2:
        n = rng.randint(0, 300)
    elif r < 0.5:
        n = 1
    else:
        n = rng.randint(0, 4)
    return [sel] + [atom(rng) for _ in range(n)]


def create_events(rng, cls, sub):
    """Messages that fill subpatch `sub` with a source, receivers and the object."""
    name = "pd-fz%d" % sub
    vals = " ".join(rng.choice(FLOATS) for _ in range(rng.randint(1, 8)))
    ev = ["%s obj 10 10 feed~ loop %s" % (name, vals)]
    for k in range(INLETS):
        ev.append("%s obj %d 40 r fz%d_%d" % (name, 10 + 60 * k, sub, k))
    args = " ".join(atom(rng) for _ in range(rng.choice([0, 0, 1, 1, 2, 3])))
    ev.append(("%s obj 10 80 %s %s" % (name, cls, args)).rstrip())
    obj = 1 + INLETS
    ev.append("%s connect 0 0 %d 0" % (name, obj))
    for k in range(INLETS):
        ev.append("%s connect %d 0 %d %d" % (name, 1 + k, obj, k))
    return ev


def generate(cls, seed, messages, objects=2):
    rng = random.Random("%s/%d" % (cls, seed))
    blocksize = rng.choice(BLOCKS)
    lines = ["#N canvas 0 50 600 400 10;", "#N canvas 0 50 600 400 main 0;",
             "#X obj 10 10 block~ %d;" % blocksize, "#X obj 10 40 r fz_block;"]
    for s in range(objects):
        lines += ["#N canvas 0 50 400 300 fz%d 0;" % s, "#X restore %d 80 pd fz%d;" % (10 + 80 * s, s)]
    lines += ["#X connect 1 0 0 0;", "#X restore 10 10 pd main;"]
    events = [(0, "pd dsp 1")]
    for s in range(objects):
        events += [(0, e) for e in create_events(rng, cls, s)]
    ticks = max(8, messages // 40)
    for _ in range(messages):
        t = rng.randint(0, ticks - 1)
        r = rng.random()
        if r < 0.01:
            events.append((t, "fz_block set %d" % rng.choice(BLOCKS)))
            events.append((t, "pd dsp 1"))
        elif r < 0.02:
            events.append((t, "pd dsp %d" % rng.randint(0, 1)))
        elif r < 0.03:
            s = rng.randrange(objects)
            events.append((t, "pd-fz%d clear" % s))
            events += [(t, e) for e in create_events(rng, cls, s)]
        else:
            s = rng.randrange(objects)
            events.append((t, "fz%d_%d %s" % (s, rng.randrange(INLETS), " ".join(message(rng)))))
    events.sort(key=lambda e: e[0])
    script = ["@%d %s" % (t, " ".join(bench._escape(w) for w in e.split())) for t, e in events]
    script.append("@%d pd quit" % ticks)
    lines.append("#X obj 10 300 drive %s;" % " ".join(script))
    return "\n".join(lines) + "\n"


def run_one(cls, seed, messages, timeout=60):
    """None when the run was clean, else a description of the failure."""
    text = generate(cls, seed, messages)
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, "fuzz.pd")
        with open(path, "w") as f:
            f.write(text)
        try:
            bench.run_patch(path, allow_errors=True, timeout=timeout, patch_text=text)
        except subprocess.TimeoutExpired:
            return "hang (no exit within %d s)" % timeout
        except AssertionError as e:
            return str(e)[:4000]
    return None


def classes_in(folder):
    return sorted(f[:-len(bench.EXT)] for f in os.listdir(folder) if f.endswith(bench.EXT))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(HERE, "..", "build-asan"))
    ap.add_argument("--seeds", default="0-19")
    ap.add_argument("--classes", default="")
    ap.add_argument("--messages", type=int, default=2000)
    args = ap.parse_args()
    folder = os.path.abspath(os.path.join(args.build, "tessel"))
    bench.TESSEL_DIR = folder
    bench.BENCH_LIB = os.path.abspath(os.path.join(args.build, "tests", "tessel_bench"))
    if os.path.exists(os.path.join(args.build, "CMakeCache.txt")) and \
            "TESSEL_SANITIZE:BOOL=ON" in open(os.path.join(args.build, "CMakeCache.txt")).read():
        bench.PRELOAD = subprocess.run(["g++", "-print-file-name=libasan.so"], capture_output=True,
                                       text=True).stdout.strip()
    lo, _, hi = args.seeds.partition("-")
    seeds = range(int(lo), int(hi or lo) + 1)
    classes = args.classes.split(",") if args.classes else classes_in(folder)
    failures = 0
    for cls in classes:
        for seed in seeds:
            problem = run_one(cls, seed, args.messages)
            if problem:
                failures += 1
                print("FAIL %s seed %d: replay with: python3 tests/fuzz.py --build %s --classes '%s' --seeds %d\n%s"
                      % (cls, seed, args.build, cls, seed, problem), flush=True)
        print("%s: %d seeds done" % (cls, len(seeds)), file=sys.stderr, flush=True)
    print("%d passed, %d failed" % (len(classes) * len(seeds) - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
