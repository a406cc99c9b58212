"""The test bench: runs patches in the real host and reads what they print.

A case is a short script; run() turns it into a patch, runs it in
`pd -nogui -noaudio -batch -noprefs -stderr` with the built modules on the
search path and the bench instrument (tests/bench/tessel_bench.cpp) loaded,
and returns what the instrument recorded.

Script lines (blank lines and lines starting with '#' are skipped):
    f: feed~ 1 2 =nan         an object box labelled f
    f -> z -> out~            connections; 'a:1 -> b:2' names outlet 1 of a
                              and inlet 2 of b (the default is 0)
    z ~> out                  a [blocks~ out] printing every block of z's outlet 0
    p:2 => o3                 a [rec o3] printing every message from p's outlet 2
    @3 z:1 float 5            after 3 blocks of 64 samples, send "float 5" to
                              inlet 1 of z (through a [r] wired to it)
    @3 pd dsp 0               messages to other receivers ('pd', any [r] name)
The instrument also has [helpname NAME] (on bang, prints the help patch name
of each object its outlet is wired to).
Buffers: the host hands an object its input's buffer as output when the
object is the input's last reader. It visits later connections first, so a
second reader wired *before* the object ('f ~> ref' above 'f -> obj') keeps
the object off the input's buffer; Result.inplace() tells which case ran.
run(..., block=N) puts the labelled objects in a subpatch with [block~ N];
'@k block set M' then '@k pd dsp 1' changes its block size at run time.
DSP is switched on before the first block unless dsp=False; the host quits
after `blocks` top-level blocks.
"""
import atexit
import functools
import math
import os
import re
import shlex
import shutil
import struct
import subprocess
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
TESSEL_DIR = os.environ.get("TESSEL_DIR", os.path.join(HERE, "..", "build", "tessel"))
BENCH_LIB = os.environ.get("TESSEL_BENCH", os.path.join(HERE, "..", "build", "tests", "tessel_bench"))
PD = os.environ.get("PD", "pd")
LAUNCHER = shlex.split(os.environ.get("PD_LAUNCHER", ""))
PRELOAD = os.environ.get("TESSEL_PRELOAD", "")
EXT = os.environ.get("TESSEL_EXT", ".pd_linux")          # module file suffix of the target
TARGET = os.environ.get("TESSEL_TARGET", "linux-amd64-32")
FLOATSIZE = int(os.environ.get("TESSEL_FLOATSIZE", "32"))  # bits of t_float and t_sample

SANITIZER_MARKS = ("runtime error:", "AddressSanitizer", "LeakSanitizer", "UndefinedBehaviorSanitizer")

# --- numbers as the host holds and the instrument prints them ---------------
_PACK = "f" if FLOATSIZE == 32 else "d"
_BITS = "I" if FLOATSIZE == 32 else "Q"
DIGITS = 9 if FLOATSIZE == 32 else 17      # %.<DIGITS>g tells every value apart
MANT = 23 if FLOATSIZE == 32 else 52       # stored significand bits
TINY = math.ldexp(1, -149 if FLOATSIZE == 32 else -1074)   # smallest subnormal
BIG = 3e38 if FLOATSIZE == 32 else 1.7e308                  # near the largest number


def f32(x):
    """x rounded to single precision (whatever the host's float size); beyond
    the largest float it rounds to an infinity, as a conversion does."""
    try:
        return struct.unpack("f", struct.pack("f", x))[0]
    except OverflowError:
        return math.copysign(math.inf, x)


def tf(x):
    """x as a t_float (and t_sample): rounded to single precision on a 32-bit
    host, unchanged on a 64-bit one."""
    return f32(x) if FLOATSIZE == 32 else float(x)


def bits(x):
    """The bits of the t_float x, as an unsigned integer."""
    return struct.unpack(_BITS, struct.pack(_PACK, x))[0]


def from_bits(b):
    return struct.unpack(_PACK, struct.pack(_BITS, b))[0]


def xform(x):
    """The instrument's exact form of the t_float x: "=x:" and its bits."""
    return "=x:%0*x" % (FLOATSIZE // 4, bits(x))


def fmt(x):
    """A number as the instrument prints it (%.9g of the single-precision
    value on a 32-bit host, %.17g of the double on a 64-bit one)."""
    x = tf(x)
    if math.isnan(x):
        return "-nan" if math.copysign(1, x) < 0 else "nan"
    return "%.*g" % (DIGITS, x)


def block(values):
    """A printed block (or list) of numbers."""
    return " ".join(fmt(v) for v in values)


class SignalCase(unittest.TestCase):
    def assertSame(self, got, want):
        """assertEqual that names the first difference at once (a full diff
        of a few thousand samples takes minutes)."""
        if got == want:
            return
        if isinstance(got, (list, str)) and isinstance(want, (list, str)):
            i = next((k for k, (a, b) in enumerate(zip(got, want)) if a != b), min(len(got), len(want)))
            self.fail("first difference at %d: %r != %r (lengths %d, %d)" % (
                i, got[i:i + 8], want[i:i + 8], len(got), len(want)))
        self.fail("%r != %r" % (got, want))


# --- host differences that are not ours: the one place that evens them out --
#
# - Pd 0.53 prints a line posted through verbose() with the prefix
#   "verbose(<level>): "; Pd 0.54 and later print the text alone. The prefix
#   is taken off every console line here; its level is kept in
#   Result.levels where the host printed it.
# - Pd 0.55 starts a real-time watchdog helper unless told not to: the bench
#   runs every host with -nrt, as a batch run needs no real-time priority.
# - After refusing a message at its nesting limit ("stack overflow"), Pd 0.53
#   passes the messages that the levels below send as they return; Pd 0.55
#   passes none until the chain has returned (host_unwinds_after_overflow).
# - A Windows host writes its output through the C runtime's text mode: every
#   line ends in CR LF (wine passes the bytes on). host_text() reads CR LF as
#   a line end; what a module itself writes (stdout's line ends) is checked
#   on the raw bytes.
# - wine's C runtime writes a redirected stdout at every printf (a Windows
#   one buffers it): when a module's buffered output reaches the pipe cannot
#   be seen under wine (STDOUT_BUFFERED).
# - A Windows host guards its start-up with a flag in the registry, shared by
#   every host of the user: while one loads its -lib libraries the flag says
#   "loading", and a host that starts meanwhile takes it for a crash of the
#   last start and loads none of its own (it prints "Pd seems to have crashed
#   on startup"; a case then lacks the instrument and never quits). The
#   libraries are loaded there by a first patch instead ([declare -stdlib]
#   with their absolute paths), which that guard does not cover: loader_patch().
#   The guard still prints its two lines when two hosts start at once; they
#   say nothing of the run and are taken off the console (HOST_STARTUP_NOISE).
# - wine, on a loaded machine, now and then fails to start a program: it
#   exits with 1 having printed nothing at all (a host that ran prints its
#   own lines and the modules' banners before any exit). Such a run is
#   started once more (host_run).
WINDOWS = TARGET.startswith("windows-")
STDOUT_BUFFERED = not WINDOWS
LINE_END = "\r\n" if WINDOWS else "\n"   # the system's line end, as a module's text output has it
HOST_FLAGS = ["-nogui", "-noaudio", "-batch", "-noprefs", "-stderr", "-nrt"]
_VERBOSE = re.compile(r"^verbose\((\d+)\): ")
HOST_STARTUP_NOISE = frozenset([
    "skipping loading preferences... Pd seems to have crashed on startup",
    "(re-save preferences to reinstate them)",
]) if WINDOWS else frozenset()


def host_text(data):
    """The host's output bytes as text, each line ending in "\\n"."""
    text = data.decode("utf-8", "replace")
    return text.replace("\r\n", "\n") if WINDOWS else text


def host_command(*args):
    """The command line that runs the host with args."""
    return LAUNCHER + [PD] + list(args)


@functools.lru_cache(maxsize=None)
def host_version():
    """The host's release as a tuple, e.g. (0, 53, 1)."""
    out = subprocess.run(host_command("-version"), capture_output=True, text=True, timeout=60)
    m = re.search(r"Pd-(\d+)\.(\d+)\.(\d+)", out.stdout + out.stderr)
    assert m, "cannot read the host's version: %r" % (out.stdout + out.stderr)
    return tuple(int(g) for g in m.groups())


def host_prints_levels():
    """Whether the host marks verbose() lines with their level."""
    return host_version() < (0, 54, 0)


@functools.lru_cache(maxsize=None)
def host_unwinds_after_overflow():
    """Whether the host still passes messages while a chain it refused at its
    nesting limit unwinds. Pd 0.53 does: every level below the refused one
    sends on as it returns. Pd 0.55 passes nothing until the chain has
    returned. Asked of the host itself, with its own [trigger] feeding
    itself: its right outlet re-enters, its left one fires as each level
    returns."""
    r = run("t: t b b\nt:1 -> t\nt:0 => u\n@0 t bang\n", dsp=False, allow_errors=True, timeout=60)
    assert "error: stack overflow" in r.console, "the host did not refuse the chain: %r" % r.console
    return len(r["u"]) > 0


def _console_line(line):
    """(text, level) of a console line, the level None where not shown."""
    m = _VERBOSE.match(line)
    if m:
        return line[m.end():], int(m.group(1))
    return line, None


class Result:
    def __init__(self, proc, stdout, stderr):
        self.rc = proc.returncode
        self.stdout = stdout
        self.stderr = stderr
        self.lines = []     # (name, text) in the order the instrument printed them
        self.console = []   # every other line on stderr, without a verbose prefix
        self.levels = []    # the verbose level of each console line (None: not shown)
        for line in stderr.splitlines():
            if line.startswith("|") and ": " in line:
                name, text = line[1:].split(": ", 1)
                self.lines.append((name, text))
            elif line.startswith("|") and line.endswith(":"):
                self.lines.append((line[1:-1], ""))
            elif line not in HOST_STARTUP_NOISE:
                text, level = _console_line(line)
                self.console.append(text)
                self.levels.append(level)

    def __getitem__(self, name):
        """What the instrument called `name` printed, DSP-build lines left out."""
        return [t for n, t in self.lines if n == name and not t.startswith("dsp ")]

    def dsp(self, name):
        return [t for n, t in self.lines if n == name and t.startswith("dsp ")]

    def inplace(self, name):
        """True when the object feeding blocks~ `name` worked in place (on every build)."""
        builds = self.dsp(name)
        assert builds, "no DSP build seen for " + name
        return all(b.endswith(" fed") for b in builds)

    def seq(self, *names):
        """The named lines, in print order, as 'name: text'."""
        return ["%s: %s" % (n, t) for n, t in self.lines if n in names and not t.startswith("dsp ")]

    def banners(self):
        """The signal library's banner lines, in order. Each must have come
        through verbose() at level 0, which a host that shows levels prints as
        level 3 (PD_DEBUG)."""
        out = []
        for i, (text, level) in enumerate(zip(self.console, self.levels)):
            banner = re.match(r"^\[\S+\] part of vesk-", text)
            notice = text.startswith("\tcopyright") and i > 0 and re.match(
                r"^\[\S+\] part of vesk-", self.console[i - 1])
            if banner or notice:
                if host_prints_levels():
                    assert level == 3, "banner line not posted through verbose(0): %r" % text
                out.append(text)
        return out


def _escape(tok):
    return re.sub(r"([;,$\\])", r"\\\1", tok)


_ENDPOINT = re.compile(r"^([A-Za-z_][\w]*)(?::(\d+))?$")


class _Patch:
    def __init__(self):
        self.objs = []      # box texts, in creation order
        self.labels = {}    # label -> index
        self.conns = []
        self.receivers = {}

    def add(self, text, label=None):
        self.objs.append(text)
        if label is not None:
            if label in self.labels:
                raise ValueError("label used twice: " + label)
            self.labels[label] = len(self.objs) - 1
        return len(self.objs) - 1

    def endpoint(self, tok):
        m = _ENDPOINT.match(tok)
        if not m or m.group(1) not in self.labels:
            raise ValueError("unknown object: " + tok)
        return self.labels[m.group(1)], int(m.group(2) or 0)

    def receiver(self, target):
        idx, inlet = self.endpoint(target)
        name = "__%s_%d" % (target.split(":")[0], inlet)
        if name not in self.receivers:
            r = self.add("r " + name)
            self.conns.append((r, 0, idx, inlet))
            self.receivers[name] = r
        return name


def build(script, blocks, block=None, dsp=True):
    """The patch text for a script (see the module's description)."""
    p = _Patch()
    events = []
    for raw in script.splitlines():
        line = raw.strip()
        if not line or line.startswith("#"):
            continue
        if line.startswith("@"):
            at, target, *msg = line.split()
            if not msg:
                raise ValueError("event without a message: " + line)
            if target == "block" and block:
                dest = "__block"
            elif target == "pd" or not _ENDPOINT.match(target) or target.split(":")[0] not in p.labels:
                dest = target
            else:
                dest = p.receiver(target)
            events.append((float(at[1:]), dest, msg))
            continue
        m = re.match(r"^([A-Za-z_]\w*):\s+(.+)$", line)
        if m:
            p.add(" ".join(_escape(t) for t in m.group(2).split()), m.group(1))
            continue
        parts = re.split(r"\s*(->|~>|=>)\s*", line)
        if len(parts) < 3:
            raise ValueError("cannot read: " + line)
        left = parts[0]
        for arrow, right in zip(parts[1::2], parts[2::2]):
            src, outlet = p.endpoint(left)
            if arrow == "->":
                dst, inlet = p.endpoint(right)
                left = right.split(":")[0]
            else:
                dst = p.add(("blocks~ " if arrow == "~>" else "rec ") + right)
                inlet = 0
                left = None
            p.conns.append((src, outlet, dst, inlet))
    script_atoms = []
    if dsp:
        script_atoms.append("@0 pd dsp 1")
    for at, dest, msg in sorted(events, key=lambda e: e[0]):
        script_atoms.append("@%g %s %s" % (at, dest, " ".join(_escape(t) for t in msg)))
    script_atoms.append("@%d pd quit" % blocks)

    out = ["#N canvas 0 50 600 400 10;"]
    if block:
        out.append("#N canvas 0 50 600 400 main 0;")
        out.append("#X obj 10 10 block~ %d;" % block)
        offset = 1
    else:
        offset = 0
    for i, text in enumerate(p.objs):
        out.append("#X obj %d %d %s;" % (10 + 150 * (i % 4), 40 + 30 * (i // 4), text))
    for s, o, d, i in p.conns:
        out.append("#X connect %d %d %d %d;" % (s + offset, o, d + offset, i))
    if block:
        out.append("#X obj 10 380 r __block;")
        out.append("#X connect %d 0 0 0;" % (len(p.objs) + 1))
        out.append("#X restore 10 10 pd main;")
    out.append("#X obj 10 300 drive %s;" % " ".join(script_atoms))
    return "\n".join(out) + "\n"


def run(script, blocks=1, block=None, dsp=True, sr=None, args=(), expect_rc=0, allow_errors=False,
        timeout=20, path_dirs=None, env=None):
    """Runs the script in the host and returns a Result."""
    text = build(script, blocks, block, dsp)
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, "case.pd")
        with open(path, "w") as f:
            f.write(text)
        return run_patch(path, sr=sr, args=args, expect_rc=expect_rc, allow_errors=allow_errors,
                         timeout=timeout, patch_text=text, path_dirs=path_dirs, env=env)


def patch_command(path, path_dirs=None, sr=None, args=(), libs=None):
    """The command that runs the patch file `path` in the host, with the
    modules' folder (or path_dirs) on the search path and the instrument
    (or libs) loaded."""
    cmd = host_command(*HOST_FLAGS)
    for d in (path_dirs if path_dirs is not None else [TESSEL_DIR]):
        cmd += ["-path", d]
    libs = list(libs if libs is not None else [BENCH_LIB])
    if WINDOWS and libs:
        cmd += ["-open", loader_patch(tuple(os.path.abspath(lib) for lib in libs))]
    else:
        for lib in libs:
            cmd += ["-lib", lib]
    if sr:
        cmd += ["-r", str(sr)]
    return cmd + list(args) + ["-open", path]


@functools.lru_cache(maxsize=None)
def loader_patch(libs):
    """A patch that loads the libraries `libs` as it opens (see the host
    differences above); written once per test process."""
    d = tempfile.mkdtemp(prefix="tessel-loader-")
    atexit.register(shutil.rmtree, d, True)
    path = os.path.join(d, "loader.pd")
    with open(path, "w") as f:
        f.write("#N canvas 0 50 300 200 10;\n#X declare %s;\n" % " ".join("-stdlib " + _escape(l) for l in libs))
    return path


def host_run(cmd, **kw):
    """subprocess.run of a host command line (see the host differences)."""
    proc = subprocess.run(cmd, **kw)
    if WINDOWS and proc.returncode == 1 and not (proc.stdout or proc.stderr):
        proc = subprocess.run(cmd, **kw)
    return proc


def host_env():
    """The environment of a host run: the sanitizer runtime preloaded in a
    sanitizer build."""
    env = dict(os.environ)
    if PRELOAD:
        env["LD_PRELOAD"] = PRELOAD
        env.setdefault("ASAN_OPTIONS", "detect_leaks=0:abort_on_error=0:exitcode=66")
        env.setdefault("UBSAN_OPTIONS", "print_stacktrace=1:halt_on_error=1:exitcode=67")
    return env


def run_patch(path, sr=None, args=(), expect_rc=0, allow_errors=False, timeout=20, patch_text=None,
              path_dirs=None, env=None):
    """Runs a patch file in the host (env: variables added to its environment)."""
    cmd = patch_command(path, path_dirs, sr, args)
    extra, env = env, host_env()
    env.update(extra or {})
    proc = host_run(cmd, capture_output=True, timeout=timeout, env=env)
    stdout = host_text(proc.stdout)
    stderr = host_text(proc.stderr)
    res = Result(proc, stdout, stderr)
    problems = []
    if any(mark in stderr for mark in SANITIZER_MARKS):
        problems.append("sanitizer report")
    if expect_rc is not None and proc.returncode != expect_rc:
        problems.append("exit code %d" % proc.returncode)
    if not allow_errors and any(
            "couldn't create" in l or l.startswith("error:") or "|drive:" in l for l in stderr.splitlines()):
        problems.append("host errors")
    if problems:
        raise AssertionError("%s\n--- patch\n%s--- stderr\n%s--- stdout\n%s" % (
            ", ".join(problems), patch_text or "", stderr[-6000:], stdout[-2000:]))
    return res
