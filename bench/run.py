#!/usr/bin/env python3
"""In-host benchmark of the signal classes against the host's own objects.

Each case is a batch-mode patch running many instances of one object on a
noise input for many seconds of audio; the host process's CPU time, minus
that of the same patch without the objects, divided by instances x samples,
gives the cost per sample. Two layouts:
  in place   noise~ -> obj -> obj -> ... (each object is its input's only
             reader, so the host hands it its input buffer as output)
  separate   noise~ feeding every object (each writes a buffer of its own)
Block sizes 64 and 8. Ratios matter more than absolute times: the machines
are shared and noisy, so every case is run several times and the fastest
run counts.

    python3 bench/run.py [--build build] [--seconds 100] [--instances 256]
                         [--repeat 3] [--only sgn~,abs~] [--out bench/RESULTS.md]
"""
import argparse
import datetime
import os
import platform
import resource
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))

# classes without a signal outlet cannot be chained: only the separate layout
SINKS = {"silence~", "blockmean~", "pack~"}

# name shown, box text, built-in alternative (box text) or None
CASES = [
    ("abs~ (host)", "abs~", None),
    ("copy *~ 1 (host)", "*~ 1", None),
    ("sgn~", "sgn~", "expr~ ($v1>0)-($v1<0)"),
    ("rectify~", "rectify~", "abs~"),
    ("quantize~", "quantize~", "expr~ int($v1*32768)/32768"),
    ("swap~", "swap~", None),
    ("route~", "route~", None),
    ("halfturn~", "halfturn~", None),
    ("retro~", "retro~", None),
    ("z~ 1", "z~ 1", "rzero_rev~ 0"),
    ("z~ 3", "z~ 3", "fexpr~ $x1[-3]"),
    ("z~ 1000", "z~ 1000", "delread~"),
    ("silence~", "silence~", None),
    ("blockmean~", "blockmean~", None),
    ("crosspitch~", "crosspitch~", None),
    ("pack~", "pack~", None),
]


def patch_text(box, n, layout, blocksize, seconds):
    lines = ["#N canvas 0 50 600 400 10;", "#N canvas 0 50 600 400 work 0;"]
    objs = ["block~ %d" % blocksize, "noise~"]
    conns = []
    if box is not None and box.startswith("delread~"):
        objs.append("delwrite~ benchline 100")
        conns.append((1, 0, 2, 0))
    for i in range(n if box is not None else 0):
        text = box
        if box.startswith("delread~"):
            text = "delread~ benchline %g" % (1000 * 1000.0 / 44100)
        objs.append(text)
        me = len(objs) - 1
        if text.startswith("delread~"):
            continue
        if layout == "inplace":
            conns.append((me - 1 if i else 1, 0, me, 0))
        else:
            conns.append((1, 0, me, 0))
    for i, t in enumerate(objs):
        lines.append("#X obj %d %d %s;" % (10 + (i % 10) * 60, 10 + (i // 10) * 25, t.replace("$", "\\$")))
    for c in conns:
        lines.append("#X connect %d %d %d %d;" % c)
    lines.append("#X restore 10 10 pd work;")
    lines += ["#X obj 10 40 loadbang;", "#X msg 10 70 \\; pd dsp 1;", "#X obj 10 100 delay %d;" % (seconds * 1000),
              "#X msg 10 130 \\; pd quit;", "#X connect 1 0 2 0;", "#X connect 1 0 3 0;", "#X connect 3 0 4 0;"]
    return "\n".join(lines) + "\n"


def cpu_time(pd, tessel_dir, text):
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, "bench.pd")
        with open(path, "w") as f:
            f.write(text)
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        proc = subprocess.run([pd, "-nogui", "-noaudio", "-batch", "-noprefs", "-stderr", "-path", tessel_dir,
                               "-open", path], capture_output=True, text=True, timeout=600)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        if proc.returncode != 0 or "couldn't create" in proc.stderr:
            raise RuntimeError("patch failed:\n" + proc.stderr[-2000:])
        return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def measure(pd, tessel_dir, box, args, layout, blocksize):
    samples = args.instances * args.seconds * 44100.0
    base = min(cpu_time(pd, tessel_dir, patch_text(None, 0, layout, blocksize, args.seconds))
               for _ in range(args.repeat))
    full = min(cpu_time(pd, tessel_dir, patch_text(box, args.instances, layout, blocksize, args.seconds))
               for _ in range(args.repeat))
    return max(full - base, 0.0) * 1e9 / samples


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(HERE, "..", "build"))
    ap.add_argument("--seconds", type=int, default=100)
    ap.add_argument("--instances", type=int, default=256)
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--only", default="")
    ap.add_argument("--out", default="")
    args = ap.parse_args()
    tessel_dir = os.path.abspath(os.path.join(args.build, "tessel"))
    pd = os.environ.get("PD", "pd")
    only = set(filter(None, args.only.split(",")))

    rows = []
    results = {}
    for name, box, alt in CASES:
        if only and name.split(" ")[0] not in only:
            continue
        cls = box.split()[0]
        if not name.endswith("(host)") and not any(f.startswith(cls + ".") for f in os.listdir(tessel_dir)):
            print("skipping %s: not built" % name, file=sys.stderr)
            continue
        for blocksize in (64, 8):
            for layout in ("inplace", "separate"):
                if layout == "inplace" and cls in SINKS:
                    continue
                ns = measure(pd, tessel_dir, box, args, layout, blocksize)
                alt_ns = measure(pd, tessel_dir, alt, args, layout, blocksize) if alt else None
                results[(name, blocksize, layout)] = (ns, alt_ns)
                print("%-14s block %-3d %-8s %7.3f ns/sample%s" % (
                    name, blocksize, layout, ns, "" if alt_ns is None else
                    "   [%s] %7.3f" % (alt, alt_ns)), file=sys.stderr)
    ref = {(b, l): results.get(("abs~ (host)", b, l), (None,))[0] for b in (64, 8) for l in ("inplace", "separate")}
    for (name, b, l), (ns, alt_ns) in results.items():
        r = ref.get((b, l))
        alt_name = next((a for n, _, a in CASES if n == name), None)
        rows.append("| %s | %d | %s | %.3f | %s | %s |" % (
            name, b, l, ns, "%.2f" % (ns / r) if r else "-",
            "%.3f (%s, x%.1f)" % (alt_ns, alt_name, alt_ns / ns if ns > 0 else float("inf")) if alt_ns is not None
            else "-"))
    table = ["| class | block | buffers | ns/sample | ÷ [abs~] | built-in alternative: ns/sample (box, times slower) |",
             "|---|---|---|---|---|---|"] + rows
    header = [
        "# Benchmark results",
        "",
        "Date: %s. Machine: %s, %s, %d cores. Command: `python3 bench/run.py --seconds %d --instances %d "
        "--repeat %d`." % (datetime.date.today().isoformat(), platform.processor() or platform.machine(),
                            platform.platform(), os.cpu_count(), args.seconds, args.instances, args.repeat),
        "",
    ]
    text = "\n".join(header + table) + "\n"
    print(text)
    if args.out:
        with open(args.out, "w") as f:
            f.write(text)


if __name__ == "__main__":
    main()
