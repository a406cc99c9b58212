"""Real-time safety: while DSP runs and no message arrives, no signal class
allocates, frees, locks, writes or makes any other system call the C runtime
lets us see.

Each case runs in the real host with tests/rt/rtcount.c preloaded (it counts
malloc, calloc, realloc, free, the aligned allocators, mmap, locks, waits,
wake-ups, write and stdio output, reads, sleeps, opens and raw syscalls) and
[rtwindow~] (tests/rt/tessel_rt.cpp) opening the count in block OPEN and
closing it in block CLOSE, so that object creation, the DSP build, every
message the case sends and the printing of the results lie outside it.

The host's own work is measured the same way and subtracted: every case is
compared with a reference patch of the host's objects alone (the sources and
sinks the cases use; with the host's [bang~] in it when the case holds
pack~, which fires one clock per block as pack~ does). On Pd 0.53.1 the
plain reference counts nothing at all; the clock reference counts one free()
per clock callback, of a null pointer, that the scheduler makes before it
runs a clock (in outlet_setstacklim): the subtraction removes exactly that
from pack~'s count and nothing from any other case. (Pd 0.55.2 counts
nothing in either.) test_host_itself checks that the host's count is a
fixed amount per block, which is what makes the subtraction exact.

Calls from threads other than the DSP thread are counted apart ("others")
and shown in failure messages, but not compared: the perform routines run on
the DSP thread, and another thread's timing differs from run to run.
"""
import os
import subprocess
import tempfile
import unittest

import bench

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD_TESTS = os.path.join(HERE, "..", "build", "tests")
RT_LIB = os.environ.get("TESSEL_RT", os.path.join(BUILD_TESTS, "tessel_rt"))
RTBAD_LIB = os.environ.get("TESSEL_RTBAD", os.path.join(BUILD_TESTS, "tessel_rtbad"))
RTCOUNT = os.environ.get("TESSEL_RTCOUNT") or os.path.join(BUILD_TESTS, "tessel_rtcount.so")

OPEN, CLOSE = 128, 640      # the window, in top-level blocks (multiples of 32, for [block~ 2048])
WINDOW = CLOSE - OPEN
BEFORE = 100                # messages of the cases arrive here, before the window

# one source for every case whose signal changes between all-zero and not
# (two blocks of each at block size 64)
TOGGLE = "feed~ loop " + "0 " * 128 + "0.5 " * 128

# The host's objects alone: the sources and sinks of the cases.
HOST = """
o: osc~ 441
f: %s
so: snapshot~
sf: snapshot~
k: rtsink host
o -> so
f -> sf
""" % TOGGLE
HOST_CLOCK = HOST + """
b: bang~
kb: rtsink hostclock
b -> kb
"""


def reason_not_to_run():
    if bench.WINDOWS:
        return ("a Windows host cannot be given a library to load before its C runtime: "
                "there is nothing to count its calls with (the counting library is built for ELF targets)")
    if os.environ.get("TESSEL_SANITIZE") or bench.PRELOAD:
        return ("the sanitizer build preloads its own runtime, which has to come first and "
                "replaces the allocator: the counting library would never see an allocation")
    if os.environ.get("PD_LAUNCHER"):
        return ("the host runs under a launcher (PD_LAUNCHER=%s): a preloaded library would count "
                "the launcher's calls, not the host's" % os.environ["PD_LAUNCHER"])
    if not os.path.exists(RTCOUNT):
        return "the counting library is not built (%s)" % RTCOUNT
    return None


class Window:
    """What one run counted: .counts (kind -> calls on the DSP thread),
    .others (calls of other threads), .sinks (name -> messages received in
    the window), .blocks (the window's length)."""

    def __init__(self, result):
        reports = result["rt"]
        if len(reports) != 1:
            raise AssertionError("expected one window report, got %r\n%s" % (
                reports, "\n".join(result.console[-40:])))
        words = reports[0].split()
        if words[:1] != ["blocks"]:
            raise AssertionError("no counts: " + reports[0])
        pairs = dict(zip(words[::2], words[1::2]))
        self.blocks = float(pairs.pop("blocks"))
        self.others = int(pairs.pop("others"))
        self.counts = {k: int(v) for k, v in pairs.items()}
        self.sinks = {}
        for name, text in result.lines:
            if name != "rt" and text.isdigit():
                self.sinks[name] = int(text)

    def minus(self, ref):
        """The kinds that differ from the reference, with the difference."""
        return {k: v - ref.counts.get(k, 0) for k, v in self.counts.items() if v != ref.counts.get(k, 0)}


def measure(script, block=None, bad=False, window=(OPEN, CLOSE)):
    """Runs the script (bench syntax) with the window object added, in the
    host with the counting library preloaded; returns a Window."""
    text = bench.build("rtw: rtwindow~ %d %d\n" % window + script, window[1] + 20, block)
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, "case.pd")
        with open(path, "w") as f:
            f.write(text)
        libs = [bench.BENCH_LIB, RT_LIB] + ([RTBAD_LIB] if bad else [])
        cmd = bench.patch_command(path, libs=libs)
        env = dict(os.environ, LD_PRELOAD=os.path.abspath(RTCOUNT))
        proc = subprocess.run(cmd, capture_output=True, timeout=60, env=env)
    stderr = proc.stderr.decode("utf-8", "replace")
    result = bench.Result(proc, proc.stdout.decode("utf-8", "replace"), stderr)
    errors = [l for l in result.console if "couldn't create" in l or l.startswith("error:")]
    if proc.returncode != 0 or errors or any(n == "drive" for n, _ in result.lines):
        raise AssertionError("exit code %d, errors %r\n--- patch\n%s--- stderr\n%s" % (
            proc.returncode, errors, text, stderr[-4000:]))
    return Window(result)


# Every signal class, one run each. A case is (name, script, clock, sinks):
# clock when the case holds pack~ (compared with the clock reference), sinks
# the messages each [rtsink] must receive inside the window. Messages arrive
# at block BEFORE, never inside the window; signal outlets go to the host's
# [snapshot~], message outlets to [rtsink], which prints nothing.
def _sig(cls, extra=""):
    return "o: osc~ 441\nx: %s\ns: snapshot~\no -> x -> s\n%s" % (cls, extra)


CASES = [
    ("sgn~", _sig("sgn~"), False, {}),
    ("rectify~", _sig("rectify~", "s2: snapshot~\nx:1 -> s2"), False, {}),
    ("rectify~ constant", "x: rectify~\ns: snapshot~\ns2: snapshot~\nx -> s\nx:1 -> s2\n@%d x float -3" % BEFORE,
     False, {}),
    ("z~ default", _sig("z~"), False, {}),
    ("z~ short", _sig("z~ 3"), False, {}),
    ("z~ long", _sig("z~ 100000"), False, {}),
    ("z~ changed", _sig("z~ 5", "@%d x:1 float 70000" % BEFORE), False, {}),
    ("dirac~", "x: dirac~\ns: snapshot~\nx -> s\n@%d x float 10000" % BEFORE, False, {}),
    ("dirac~ bang", "x: dirac~ 5000\ns: snapshot~\nx -> s\n@%d x bang" % BEFORE, False, {}),
    ("step~ window", "x: step~ 3000\ns: snapshot~\nx -> s\n@%d x float 5000" % BEFORE, False, {}),
    ("step~ unit", "x: step~\ns: snapshot~\nx -> s\n@%d x bang" % BEFORE, False, {}),
    ("halfturn~", _sig("halfturn~"), False, {}),
    ("halfturn~ off", _sig("halfturn~", "@%d x float 0" % BEFORE), False, {}),
    ("retro~", _sig("retro~"), False, {}),
    ("retro~ off", _sig("retro~", "@%d x float 0" % BEFORE), False, {}),
    ("quantize~ default", _sig("quantize~"), False, {}),
    ("quantize~ 8bit", _sig("quantize~", "@%d x 8bit" % BEFORE), False, {}),
    ("quantize~ 3", _sig("quantize~ 3"), False, {}),
    ("quantize~ 1000.7", _sig("quantize~", "@%d x float 1000.7" % BEFORE), False, {}),
    ("quantize~ off", _sig("quantize~", "@%d x float 0" % BEFORE), False, {}),
    ("swap~ on", _sig("swap~", "@%d x float 1" % BEFORE), False, {}),
    ("swap~ off", _sig("swap~"), False, {}),
    ("pack~", "o: osc~ 441\nx: pack~\nk: rtsink lists\no -> x -> k", True, {"lists": WINDOW}),
    ("unpack~", "x: unpack~ 16384\ns: snapshot~\nx -> s\n@%d x list %s" % (
        BEFORE, " ".join(str(i % 97) for i in range(8192))), False, {}),
    ("silence~", "f: %s\nx: silence~\nk: rtsink toggles\nf -> x -> k\n@%d x bang" % (TOGGLE, BEFORE), False,
     {"toggles": WINDOW // 2}),
    ("silence~ off", "f: %s\nx: silence~\nk: rtsink toggles\nf -> x -> k" % TOGGLE, False, {"toggles": 0}),
    ("blockmean~", _sig("blockmean~", "k: rtsink means\nx -> k\n@%d x bang" % BEFORE), False, {"means": 0}),
    ("crosspitch~", _sig("crosspitch~"), False, {}),
    ("route~", _sig("route~", "k: rtsink routed\nx:1 -> k\n@%d x list 1 2 3\n@%d x foo bar" % (BEFORE, BEFORE)),
     False, {}),
    ("idlestep", "x: idlestep\nk: rtsink grain\nx -> k\n@%d x bang" % BEFORE, False, {}),
]

# The control classes a signal chain drives: silence~'s floats and pack~'s
# lists, sent from inside the window, run through them.
SILENCE_CHAIN = """
f: %s
s: silence~
tb: t b b
pk: Peak
tr: Trough
mn: mean
ta: tally
nx: next
ss: singleshot
vo: Volley 3
fw: forward fwd
rf: r fwd
ks: keysend
by: bytesift
kr: keyrecv
k: rtsink chain
kt: rtsink toggles
f -> s -> kt
s -> pk -> k
s -> tr -> k
s -> mn -> k
s -> ta:1
s -> nx -> k
nx:1 -> k
s -> tb
tb:1 -> ss:1
tb:0 -> ss -> k
tb:0 -> ta -> k
s -> vo -> k
vo:2 -> k
s -> fw
rf -> k
s -> ks -> by -> k
ks -> kr -> k
@%d s bang
""" % (TOGGLE, BEFORE)

PACK_CHAIN = """
o: osc~ 441
p: pack~
mn: mean
rt: route~
k: rtsink lists
kc: rtsink chain
o -> p -> k
p -> mn -> kc
p -> rt
rt:1 -> kc
"""

# Every signal class in one patch, for the runs at other block sizes.
ALL = "\n".join([
    "o: osc~ 441", "f: %s" % TOGGLE,
    "sg: sgn~", "re: rectify~", "z1: z~ 3", "z2: z~ 100000", "di: dirac~", "st: step~ 3000", "ht: halfturn~",
    "rv: retro~", "q1: quantize~", "q2: quantize~ 3", "q3: quantize~", "sw: swap~", "pa: pack~",
    "up: unpack~ 16384", "si: silence~", "bm: blockmean~", "cp: crosspitch~", "ro: route~", "id: idlestep", "ks: keysend",
    "k: rtsink messages",
    "o -> sg", "o -> re", "o -> z1", "o -> z2", "o -> ht", "o -> rv", "o -> q1", "o -> q2", "o -> q3",
    "o -> sw", "o -> pa", "f -> si", "o -> bm", "o -> cp", "o -> ro",
    "pa -> k", "si -> k", "si -> ks -> k", "bm -> k", "ro:1 -> k",
    "@%d di float 10000" % BEFORE, "@%d st float 5000" % BEFORE, "@%d q3 8bit" % BEFORE,
    "@%d sw float 1" % BEFORE, "@%d si bang" % BEFORE, "@%d bm bang" % BEFORE,
    "@%d up list %s" % (BEFORE, " ".join(str(i % 89) for i in range(4096))),
])


class RealtimeTest(unittest.TestCase):
    refs = {}

    def setUp(self):
        why = reason_not_to_run()
        if why:
            self.skipTest(why)

    def ref(self, block=None, clock=False):
        key = (block, clock)
        if key not in self.refs:
            self.refs[key] = measure(HOST_CLOCK if clock else HOST, block)
        return self.refs[key]

    def assertClean(self, got, ref, what):
        self.assertEqual(got.blocks, WINDOW, what)
        extra = got.minus(ref)
        self.assertEqual(extra, {}, "%s: calls beyond the host's own in %d blocks: %r (host: %r, others %d)" % (
            what, WINDOW, extra, ref.counts, got.others))

    def test_host_itself(self):
        # The host's own count is a fixed amount per block (so that the
        # subtraction is exact), with and without a clock firing per block.
        for block in (None, 1, 2048):
            for clock in (False, True):
                with self.subTest(block=block, clock=clock):
                    full = self.ref(block, clock)
                    half = measure(HOST_CLOCK if clock else HOST, block, window=(OPEN, OPEN + WINDOW // 2))
                    self.assertEqual(full.blocks, WINDOW)
                    self.assertEqual(half.blocks, WINDOW // 2)
                    self.assertEqual({k: 2 * v for k, v in half.counts.items()}, full.counts)
                    if clock:
                        self.assertEqual(full.sinks["hostclock"], WINDOW * (1 if (block or 64) <= 64 else 64 / block))

    def test_every_signal_class(self):
        # silence~ reports a change every two blocks and pack~ sends one list
        # per block, from inside the window
        for name, script, clock, sinks in CASES:
            with self.subTest(case=name):
                got = measure(script)
                self.assertClean(got, self.ref(clock=clock), name)
                for sink, n in sinks.items():
                    self.assertEqual(got.sinks[sink], n, sink)

    def test_messages_from_the_signal_chain(self):
        # silence~'s and pack~'s messages through the control classes they drive
        got = measure(SILENCE_CHAIN)
        self.assertClean(got, self.ref(), "silence~ into control classes")
        self.assertEqual(got.sinks["toggles"], WINDOW // 2)
        self.assertGreater(got.sinks["chain"], 4 * WINDOW // 2)
        got = measure(PACK_CHAIN)
        self.assertClean(got, self.ref(clock=True), "pack~ into mean and route~")
        self.assertEqual(got.sinks["lists"], WINDOW)
        self.assertEqual(got.sinks["chain"], 2 * WINDOW)

    def test_other_block_sizes(self):
        # every class at once, in a subpatch of block 1, 8 and 2048
        for block in (1, 8, 2048):
            with self.subTest(block=block):
                got = measure(ALL, block)
                self.assertClean(got, self.ref(block, clock=True), "every class at block %d" % block)
                self.assertGreater(got.sinks["messages"], 0)

    def test_a_bad_class_is_caught(self):
        # rtbad~ (tests/rt/tessel_rtbad.cpp, never part of the library) does
        # one wrong thing per perform call: the comparison reports each.
        ref = self.ref()
        want = {
            "malloc": {"malloc": WINDOW, "free": WINDOW},
            "getbytes": {"calloc": WINDOW, "free": WINDOW},
            "write": {"write": WINDOW},
            "stdio": {"stdio": WINDOW},
            "lock": {"lock": WINDOW, "unlock": WINDOW},
            "none": {},
        }
        for mode, extra in want.items():
            with self.subTest(mode=mode):
                got = measure("o: osc~ 441\nx: rtbad~ %s\ns: snapshot~\no -> x -> s" % mode, bad=True)
                self.assertEqual(got.minus(ref), extra)
                if extra:
                    with self.assertRaises(AssertionError):
                        self.assertClean(got, ref, mode)
                else:
                    self.assertClean(got, ref, mode)
        # the host's post() from the audio path: at least one output call per block
        got = measure("o: osc~ 441\nx: rtbad~ post\ns: snapshot~\no -> x -> s", bad=True)
        self.assertGreaterEqual(got.minus(ref).get("stdio", 0) + got.minus(ref).get("write", 0), WINDOW)
        with self.assertRaises(AssertionError):
            self.assertClean(got, ref, "post")
        # one bad object among every class, at another block size
        got = measure(ALL + "\nbad: rtbad~ malloc\no -> bad", 8, bad=True)
        self.assertEqual(got.minus(self.ref(8, clock=True)), {"malloc": 8 * WINDOW, "free": 8 * WINDOW})


if __name__ == "__main__":
    unittest.main()
