#!/usr/bin/env python3
"""In-host benchmark of the signal classes against the host's own objects,
in single and double precision, and the targets they are held to.

Each case is a batch-mode patch running many instances of one object on a
noise input for many seconds of audio; the host process's CPU time, minus
that of the same patch without the objects, divided by instances x samples,
gives the cost per sample. Two layouts:
  in place   noise~ -> obj -> obj -> ... (each object is its input's only
             reader, so the host hands it its input buffer as output)
  separate   noise~ feeding every object (each writes a buffer of its own)
Every case is run several times, interleaved with the yardstick [abs~] of
the same host, and the fastest run counts: the machines are shared, and the
ratio to [abs~] measured side by side is what the targets are about.

Precisions: the single-precision modules (build/, the system's Pd 0.53) and,
where built, the double-precision ones (build-pd64/, pd64 0.55 from
build-hosts/), each against its own host's [abs~]. The routine variant in use
is the processor's (AVX2 and FMA where present; TESSEL_CPU=base forces the
portable one).

    python3 bench/run.py [--seconds 20] [--instances 256] [--repeat 3]
                         [--only sgn~,quantize~] [--blocks 64] [--out bench/RESULTS.md]
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
ROOT = os.path.join(HERE, "..")

# classes without a signal outlet cannot be chained: only the separate layout
SINKS = {"silence~", "blockmean~", "pack~"}

# name shown, box text, built-in alternative (box text) or None, target
# (largest ratio to [abs~]; "alt": at most the alternative's cost), and the
# input where it is not [noise~]. crosspitch~'s target is for a pitched
# signal, whose crossings are rare (a sine of 441 Hz: one in 100 samples);
# on noise a rising crossing comes every 4 samples or so, and each costs a
# division and a count: shown beside it, without a target.
CASES = [
    ("abs~ (host)", "abs~", None, None),
    ("copy *~ 1 (host)", "*~ 1", None, None),
    ("sgn~", "sgn~", "expr~ ($v1>0)-($v1<0)", 1.0),
    ("rectify~", "rectify~", "abs~", 1.0),
    ("quantize~", "quantize~", "expr~ int($v1*32768)/32768", 1.0),
    ("swap~", "swap~", None, 1.0),
    ("route~", "route~", None, 1.0),
    ("halfturn~", "halfturn~", None, 1.0),
    ("retro~", "retro~", None, 1.0),
    ("z~ 1", "z~ 1", "rzero_rev~ 0", None),
    ("z~ 1000", "z~ 1000", "delread~", 1.0),
    ("silence~", "silence~", None, 0.5),
    ("blockmean~", "blockmean~", None, 1.0),
    ("crosspitch~ (osc~ 441)", "crosspitch~", None, 1.5, "osc~ 441"),
    ("crosspitch~ (noise~)", "crosspitch~", None, None),
    ("pack~", "pack~", "tabsend~ + bang~ + array get", "alt"),
]


def patch_text(box, n, layout, blocksize, seconds, source="noise~"):
    lines = ["#N canvas 0 50 600 400 10;", "#N canvas 0 50 600 400 work 0;"]
    objs = ["block~ %d" % blocksize, source]
    conns = []
    if box is not None and box.startswith("delread~"):
        objs.append("delwrite~ benchline 100")
        conns.append((1, 0, 2, 0))
    for i in range(n if box is not None else 0):
        if box.startswith("tabsend~"):
            # what a patch does instead of pack~: the block into an array,
            # and the array as a list after every block
            objs += ["array define pk%d %d" % (i, blocksize), "tabsend~ pk%d" % i, "bang~",
                     "array get pk%d" % i]
            me = len(objs) - 1
            conns += [(1, 0, me - 2, 0), (me - 1, 0, me, 0)]
            continue
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
        proc = subprocess.run([pd, "-nogui", "-noaudio", "-batch", "-noprefs", "-stderr", "-nrt",
                               "-path", tessel_dir, "-open", path], capture_output=True, text=True, timeout=900)
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        if proc.returncode != 0 or "couldn't create" in proc.stderr:
            raise RuntimeError("patch failed:\n" + proc.stderr[-2000:])
        return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


class Host:
    """One precision: its host binary, its modules and its own yardstick."""

    def __init__(self, name, pd, build, args):
        self.name, self.pd, self.args = name, pd, args
        self.dir = os.path.abspath(os.path.join(build, "tessel"))
        self.base = {}

    def built(self, cls):
        return os.path.isdir(self.dir) and any(f.startswith(cls + ".") for f in os.listdir(self.dir))

    def ns(self, box, layout, blocksize, source="noise~"):
        """The cost per sample of box, and of [abs~] measured between its runs."""
        a = self.args
        samples = a.instances * a.seconds * 44100.0
        key = (layout, blocksize, source)
        if key not in self.base:
            self.base[key] = min(cpu_time(self.pd, self.dir, patch_text(None, 0, layout, blocksize, a.seconds,
                                                                        source))
                                 for _ in range(a.repeat))
        best = best_abs = None
        for _ in range(a.repeat):
            t = cpu_time(self.pd, self.dir, patch_text(box, a.instances, layout, blocksize, a.seconds, source))
            u = cpu_time(self.pd, self.dir, patch_text("abs~", a.instances, layout, blocksize, a.seconds,
                                                       source))
            best = t if best is None else min(best, t)
            best_abs = u if best_abs is None else min(best_abs, u)
        per = lambda t: max(t - self.base[key], 0.0) * 1e9 / samples
        return per(best), per(best_abs)


def variant():
    if os.environ.get("TESSEL_CPU") == "base":
        return "portable (SSE2), forced by TESSEL_CPU=base"
    try:
        with open("/proc/cpuinfo") as f:
            flags = f.read()
    except OSError:
        flags = ""
    if platform.machine() == "x86_64":
        return "AVX2 and FMA" if " avx2" in flags and " fma" in flags else "portable (SSE2)"
    return "the one routine of " + platform.machine()


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--seconds", type=int, default=20)
    ap.add_argument("--instances", type=int, default=256)
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--only", default="")
    ap.add_argument("--blocks", default="64")
    ap.add_argument("--out", default="")
    args = ap.parse_args()
    only = set(filter(None, args.only.split(",")))
    blocks = [int(b) for b in args.blocks.split(",")]

    hosts = [Host("32-bit (Pd 0.53.1)", os.environ.get("PD", "pd"), os.path.join(ROOT, "build"), args)]
    pd64 = os.path.join(ROOT, "build-hosts", "trixie-amd64", "root", "usr", "bin", "puredata64")
    if os.path.exists(pd64) and os.path.isdir(os.path.join(ROOT, "build-pd64", "tessel")):
        hosts.append(Host("64-bit (pd64 0.55.2)", pd64, os.path.join(ROOT, "build-pd64"), args))
    else:
        print("no double-precision build (bash scripts/run pd64 makes one): 32-bit only", file=sys.stderr)

    sections, targets = [], []
    for host in hosts:
        rows = []
        for name, box, alt, target, *source in CASES:
            source = source[0] if source else "noise~"
            if only and name.split(" ")[0] not in only and not name.startswith("abs~"):
                continue
            cls = box.split()[0]
            if not name.endswith("(host)") and not host.built(cls):
                print("skipping %s: not built" % name, file=sys.stderr)
                continue
            for blocksize in blocks:
                for layout in ("inplace", "separate"):
                    if layout == "inplace" and (cls in SINKS or name.startswith("abs~")):
                        continue
                    ns, ref = host.ns(box, layout, blocksize, source)
                    alt_ns = host.ns(alt, layout, blocksize, source)[0] if alt else None
                    ratio = ns / ref if ref else float("nan")
                    print("%-22s %-14s block %-4d %-8s %6.3f ns/sample  %5.2f x [abs~] %s" % (
                        host.name, name, blocksize, layout, ns, ratio,
                        "" if alt_ns is None else "[%s] %.3f" % (alt, alt_ns)), file=sys.stderr)
                    rows.append("| %s | %d | %s | %.3f | %.3f | %.2f | %s |" % (
                        name, blocksize, layout, ns, ref, ratio,
                        "-" if alt_ns is None else "%.3f (%s)" % (alt_ns, alt)))
                    if target is not None and blocksize == 64:
                        if target == "alt":
                            met = ns <= alt_ns
                            want = "at most %s (%.3f ns)" % (alt, alt_ns)
                        else:
                            met = ratio <= target
                            want = "at most %.1f × [abs~]" % target
                        targets.append("| %s | %s | %s | %s | %.2f × [abs~] | %s |" % (
                            host.name, name, layout, want, ratio, "met" if met else "**missed**"))
        sections += ["## %s" % host.name, "",
                     "| class | block | buffers | ns/sample | [abs~] ns/sample, same run | ÷ [abs~] | "
                     "built-in alternative: ns/sample |", "|---|---|---|---|---|---|---|"] + rows + [""]
    header = [
        "# Benchmark results",
        "",
        "Date: %s. Machine: %s, %s, %d cores. Routines in use: %s. Command: `python3 bench/run.py "
        "--seconds %d --instances %d --repeat %d --blocks %s`." % (
            datetime.date.today().isoformat(), platform.processor() or platform.machine(), platform.platform(),
            os.cpu_count(), variant(), args.seconds, args.instances, args.repeat, args.blocks),
        "",
        "Each case runs %d instances on a [noise~] input (or the one its name gives) for %d s of audio in the host's batch mode; the "
        "figure is the host process's CPU time minus that of the same patch without the objects, per "
        "instance and sample, the fastest of %d runs, each followed by a run of [abs~] in the same layout "
        "(its fastest is the yardstick). \"inplace\": a chain noise~ → obj → obj → …; \"separate\": "
        "noise~ fanned out to every object." % (args.instances, args.seconds, args.repeat),
        "",
        "## Targets at block size 64",
        "",
        "| precision | class | buffers | target | result | |",
        "|---|---|---|---|---|---|",
    ] + targets + [""]
    text = "\n".join(header + sections)
    print(text)
    if args.out:
        with open(args.out, "w") as f:
            f.write(text)


if __name__ == "__main__":
    main()
