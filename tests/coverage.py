#!/usr/bin/env python3
"""Line and branch coverage of every module from the in-host suite.

    bash scripts/run coverage              # fetches the pd64 host, then the same as:
    python3 tests/coverage.py              # build build-cov/ (-DTESSEL_COVERAGE=ON), run the suite, print the table
    python3 tests/coverage.py --no-run     # the table from the counters of the last run
    python3 tests/coverage.py --check      # also fail on a line or branch that should be covered and is not
    python3 tests/coverage.py --check control midi common   # the same for these folders only

The class modules are built unoptimised with gcov's counters; the bench
instrument and the host-free unit tests are not, so the numbers say what the
tests in the real host reach. Every ctest entry runs except host.leaks
(valgrind adds nothing to reach and takes minutes). Counters of one header
seen from several modules are added up: a line or branch counts as covered
when any module reached it. Where the pd64 host has been fetched (into
build-hosts/, as `bash scripts/run pd64` does), the 64-bit modules are
built too (build-cov64/) and run in it, and their counters are added: the
code only a float size of its own compiles is counted that way; without it
the table says the 64-bit half was skipped.

Lines listed in tests/coverage-exclusions.txt (`path:line` or
`path:first-last`, then `# reason`) are left out of the line count. --check
fails when a line of a class source or header outside the list is never run,
or when a branch of the conversion and MIDI byte rules
(common/tessel/numeric.h, midi/midibytes.h) is never taken.
"""
import argparse
import json
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
EXCLUSIONS = os.path.join(HERE, "coverage-exclusions.txt")
TRIXIE = os.path.join(ROOT, "build-hosts", "trixie-amd64", "root", "usr")
FULL_BRANCHES = ("common/tessel/numeric.h", "midi/midibytes.h")
TOPS = ("signal/", "control/", "midi/", "common/")


def read_exclusions():
    out = {}
    for n, line in enumerate(open(EXCLUSIONS).read().splitlines() if os.path.exists(EXCLUSIONS) else [], 1):
        if not line.strip() or line.startswith("#"):
            continue
        m = re.match(r"^(\S+):(\d+)(?:-(\d+))?\s+#\s*(.+)$", line)
        if not m:
            raise SystemExit("%s:%d: cannot read entry" % (EXCLUSIONS, n))
        for k in range(int(m.group(2)), int(m.group(3) or m.group(2)) + 1):
            out[(m.group(1), k)] = m.group(4)
    return out


def run_suite(build, jobs, options=()):
    if not os.path.exists(os.path.join(build, "CMakeCache.txt")):
        subprocess.run(["cmake", "-S", ROOT, "-B", build, "-DTESSEL_COVERAGE=ON", "-DCMAKE_BUILD_TYPE=Debug"]
                       + list(options), check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "-j", str(jobs)], check=True, stdout=subprocess.DEVNULL)
    for dirpath, _, names in os.walk(build):
        for n in names:
            if n.endswith(".gcda"):
                os.remove(os.path.join(dirpath, n))
    return subprocess.run(["ctest", "--test-dir", build, "-j", str(jobs), "-E", r"^host\.leaks$",
                           "--output-on-failure"]).returncode


def collect(builds):
    """{file: {line: count}}, {file: {(line, function, index): count}} over every module of the builds."""
    lines, branches = {}, {}
    for dirpath, _, names in (w for build in builds for w in os.walk(os.path.join(build, "CMakeFiles"))):
        for n in names:
            if not n.endswith(".gcda"):
                continue
            out = subprocess.run(["gcov", "-j", "-t", "-b", n], cwd=dirpath, capture_output=True, check=True)
            for doc in out.stdout.decode().splitlines():
                if not doc.strip():
                    continue
                for f in json.loads(doc)["files"]:
                    path = os.path.relpath(os.path.normpath(os.path.join(dirpath, f["file"])), ROOT)
                    if not path.startswith(TOPS):
                        continue
                    fl = lines.setdefault(path, {})
                    fb = branches.setdefault(path, {})
                    for ln in f["lines"]:
                        k = ln["line_number"]
                        fl[k] = fl.get(k, 0) + ln["count"]
                        for i, b in enumerate(ln["branches"]):
                            key = (k, ln.get("function_name", ""), i)
                            fb[key] = fb.get(key, 0) + b["count"]
    return lines, branches


def ranges(nums):
    out, nums = [], sorted(nums)
    for n in nums:
        if out and n == out[-1][1] + 1:
            out[-1][1] = n
        else:
            out.append([n, n])
    return ",".join(str(a) if a == b else "%d-%d" % (a, b) for a, b in out)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--build", default=os.path.join(ROOT, "build-cov"))
    ap.add_argument("--no-run", action="store_true", help="read the counters of the last run")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--check", action="store_true")
    ap.add_argument("paths", nargs="*", help="with --check, only files under these (default: all)")
    args = ap.parse_args()
    builds = [args.build]
    pd64 = os.path.join(TRIXIE, "bin", "puredata64")
    wide = args.build + "64"
    rc = 0 if args.no_run else run_suite(args.build, args.jobs)
    if os.path.exists(pd64):
        builds.append(wide)
        if not args.no_run:
            rc |= run_suite(wide, args.jobs, ["-DTESSEL_FLOATSIZE=64", "-DPD_EXECUTABLE=" + pd64,
                                              "-DPD_INCLUDE_DIR=" + os.path.join(TRIXIE, "include", "pd")])
    if rc:
        print("the suite failed in the coverage build")
    excl = read_exclusions()
    lines, branches = collect(builds)
    if len(builds) == 1:
        print("64-bit modules skipped: the pd64 host is not in build-hosts/ (bash scripts/run coverage fetches it)")
    print("%-28s %6s %6s %6s %7s %6s %6s %7s  %s" % ("file", "lines", "run", "excl", "line%", "branch", "taken",
                                                     "branch%", "not run (not excluded)"))
    totals = [0, 0, 0, 0, 0]
    problems = []
    for path in sorted(lines):
        fl = lines[path]
        ex = {k for k in fl if (path, k) in excl}
        counted = [k for k in fl if k not in ex]
        run = [k for k in counted if fl[k] > 0]
        missed = sorted(set(counted) - set(run))
        fb = branches.get(path, {})
        taken = sum(1 for c in fb.values() if c > 0)
        pct = 100.0 * len(run) / len(counted) if counted else 100.0
        bpct = 100.0 * taken / len(fb) if fb else 100.0
        print("%-28s %6d %6d %6d %6.1f%% %6d %6d %6.1f%%  %s" % (path, len(fl), len(run), len(ex), pct, len(fb),
                                                                 taken, bpct, ranges(missed)))
        for i, v in enumerate((len(counted), len(run), len(ex), len(fb), taken)):
            totals[i] += v
        checked = not args.paths or any(path.startswith(p.rstrip("/") + "/") or path == p for p in args.paths)
        if missed and checked:
            problems.append("%s: lines %s never run" % (path, ranges(missed)))
        if checked and path in FULL_BRANCHES and taken < len(fb):
            problems.append("%s: branches on lines %s never taken" % (
                path, ranges({k[0] for k, c in fb.items() if c == 0})))
        stale = [k for (p, k) in excl if p == path and k not in fl]
        if stale:
            problems.append("%s: excluded lines %s hold no code" % (path, ranges(stale)))
    print("%-28s %6d %6d %6d %6.1f%% %6d %6d %6.1f%%" % (
        "total", totals[0] + totals[2], totals[1], totals[2], 100.0 * totals[1] / max(1, totals[0]), totals[3],
        totals[4], 100.0 * totals[4] / max(1, totals[3])))
    partial = ["%s: %s" % (p, ranges({k[0] for k, c in fb.items() if c == 0}))
               for p, fb in sorted(branches.items()) if any(c == 0 for c in fb.values())]
    if partial:
        print("branches never taken, by line:\n  " + "\n  ".join(partial))
    if args.check and problems:
        print("\n".join(problems))
        return 1
    return 1 if rc else 0


if __name__ == "__main__":
    sys.exit(main())
