#!/usr/bin/env python3
"""Leak and invalid-access check of every class under valgrind (memcheck), in
the real host: objects are created with random arguments, run through DSP
blocks and block-size changes, sent random messages, deleted and created
again (the fuzzer's patches, with fewer messages). A leak or invalid access
whose stack passes through one of our modules fails the class.

    python3 tests/leaks.py [--build build] [--classes z~,pack~] [--seeds 1]
"""
import argparse
import glob
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import bench  # noqa: E402
import fuzz  # noqa: E402


def patterns(folder):
    """Texts that mark a stack frame in our code: "(in .../z~.pd_linux)"
    without debug information, "z~.cpp:123" or a shared header with it."""
    pats = [c + suffix for c in fuzz.classes_in(folder) for suffix in (bench.EXT, ".cpp:", ".c:")]
    src = os.path.join(HERE, "..")
    pats += [os.path.basename(h) + ":" for fam in ("signal", "control", "midi", "common/tessel")
             for h in glob.glob(os.path.join(src, fam, "*.h"))]
    return pats


def ours(frame_block, modules):
    return any(m in frame_block for m in modules)


def check(cls, seed, folder, bench_lib, modules, messages=150):
    text = fuzz.generate(cls, seed, messages)
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, "leak.pd")
        with open(path, "w") as f:
            f.write(text)
        log = os.path.join(d, "vg.log")
        cmd = ["valgrind", "--tool=memcheck", "--leak-check=full", "--show-leak-kinds=definite,indirect",
               "--num-callers=30", "--log-file=" + log] + bench.patch_command(path, [folder], libs=[bench_lib])
        subprocess.run(cmd, capture_output=True, timeout=600)
        with open(log) as f:
            report = f.read()
    # valgrind separates its records with blank "==pid== " lines
    records = re.split(r"\n==\d+== \n", report)
    bad = [r for r in records
           if ("definitely lost" in r or "indirectly lost" in r or "Invalid " in r or "uninitialised" in r)
           and ours(r, modules)]
    return bad


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(HERE, "..", "build"))
    ap.add_argument("--classes", default="")
    ap.add_argument("--seeds", default="1")
    args = ap.parse_args()
    folder = os.path.abspath(os.path.join(args.build, "tessel"))
    bench_lib = os.path.abspath(os.path.join(args.build, "tests", "tessel_bench"))
    classes = args.classes.split(",") if args.classes else fuzz.classes_in(folder)
    modules = patterns(folder)
    lo, _, hi = args.seeds.partition("-")
    failures = 0
    for cls in classes:
        for seed in range(int(lo), int(hi or lo) + 1):
            bad = check(cls, seed, folder, bench_lib, modules)
            if bad:
                failures += 1
                print("FAIL %s seed %d:\n%s" % (cls, seed, "\n\n".join(bad)[:6000]), flush=True)
            else:
                print("ok %s seed %d" % (cls, seed), file=sys.stderr, flush=True)
    print("%d passed, %d failed" % (len(classes) - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
