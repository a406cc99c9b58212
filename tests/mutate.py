#!/usr/bin/env python3
"""Mutation testing: seeds one small fault at a time into the library's
sources and tells whether the test suite notices.

    python3 tests/mutate.py --campaign ci                 # the short fixed-seed campaign CI runs
    python3 tests/mutate.py --class sustain --all         # every fault of one class's source
    python3 tests/mutate.py midi/midibytes.h --all        # every fault of a file (a header: all its modules)
    python3 tests/mutate.py --all --jobs 2                # every fault of every class source and header
    python3 tests/mutate.py control --sample 50 --seed 7  # 50 faults drawn from control/ with seed 7
    python3 tests/mutate.py --list midi/keysend.cpp       # the faults it would seed, without running them
    python3 tests/mutate.py --all --jobs 2 --record tests/mutation-record.json --budget 90
                                                          # the full run in parts: outcomes that still hold are
                                                          # taken from the record, new ones added to it

Faults (operators): relational (< <= > >=: boundary, negation, reversal),
equality (== !=), arithmetic (+ - * / %), bitwise (& | ^), shift (<< >>),
assignment (+= -= *= /= ...), logical (&& ||), negation (a ! removed),
unary-minus (a unary - removed), boolean (true false), constant (an integer
literal, or an integral floating literal, plus or minus 1), increment (++ --),
delete-statement (an expression statement, break, continue or return; in a
void function) and delete-outlet (a statement that sends from an outlet).
Comments, strings, preprocessor lines and template arguments are left alone.

Each worker keeps its own copy of the tree and its own sanitizer build in
build-mutate/w<k>/ (made on the first run, brought up to date on later ones).
A fault is written into the copy, only the modules whose sources include the
faulty file are rebuilt (the host-free test programs too, tests/unit and
tests/variants, when they include it, and they run first),
and the tests that concern those classes run, stopping at the first failure.
A test file concerns a class when it creates it in a bench script
("label: class") or names it as a whole string literal; files naming fewer
classes run first. Every fault runs on the AddressSanitizer/UBSan build with
LeakSanitizer on, so one that only overruns a buffer or leaks is caught; a run that takes more than five
times the fault-free time (at least a minute) counts as caught (the fault
hangs the host).

Results: caught, survived, did not compile, same code (the build is byte
for byte the fault-free one: the fault lies in code this target does not
compile, such as another system's branch, or the compiler made the same
machine code of it; not counted in the score); a survivor listed in
tests/mutants-equivalent.txt counts as equivalent, not as survived. A listed
fault that is caught is reported as a wrong entry. The exit status is 1 when
any fault survived without being listed, or a listed one was caught.
With --record, outcomes are kept in a file between runs, each valid while
a fingerprint of what it depends on (the sources the faulty file's modules
are built from, the tests that run for it, the bench, the build lists, the
host binary and the compiler) is unchanged; --budget stops starting faults
after a number of minutes. The tests that caught the last faults of a file
run first for its next one.
The selection is deterministic: the same files, --sample and --seed draw the
same faults.
"""
import argparse
import difflib
import hashlib
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
EQUIVALENT_LIST = os.path.join(HERE, "mutants-equivalent.txt")
FAMILIES = ("signal", "control", "midi")
SHARED = ("common",)

# The short campaign that CI runs: control, MIDI and shared sources.
CAMPAIGNS = {
    "ci": dict(paths=["control", "midi", "common"], sample=40, seed=16),
}

# --------------------------------------------------------------------------
# Lexing
# --------------------------------------------------------------------------

PUNCT = sorted("""<<= >>= ... -> ++ -- << >> <= >= == != && || += -= *= /= %= &= |= ^= ::
{ } [ ] ( ) ; : , . ? ~ ! + - * / % & | ^ = < >""".split(), key=len, reverse=True)
NUMBER = re.compile(r"0[xX][0-9a-fA-F']+[uUlL]*|(?:\d[\d']*\.?[\d']*|\.\d+)(?:[eE][+-]?\d+)?[fFlLuU]*")
IDENT = re.compile(r"[A-Za-z_]\w*")

KEYWORDS = {"return", "case", "default", "if", "else", "for", "while", "do", "switch", "break", "continue",
            "sizeof", "new", "delete", "throw", "goto", "static", "const", "constexpr", "inline", "extern",
            "struct", "class", "enum", "union", "namespace", "template", "typename", "using", "operator",
            "noexcept", "static_assert", "public", "private", "protected", "virtual", "auto", "void",
            "true", "false", "nullptr", "this"}
BUILTIN_TYPES = {"void", "char", "short", "int", "long", "float", "double", "bool", "unsigned", "signed",
                 "auto", "const", "static", "constexpr", "inline", "volatile", "size_t"}


class Tok:
    __slots__ = ("kind", "text", "start", "end", "line", "col", "templ", "label_colon", "header_close",
                 "body_close")

    def __init__(self, kind, text, start, end, line, col):
        self.kind, self.text, self.start, self.end, self.line, self.col = kind, text, start, end, line, col
        self.templ = False         # inside template brackets (a type, not an expression)
        self.label_colon = False   # the ':' of a case or default label
        self.header_close = False  # the ')' closing an if/for/while/switch header
        self.body_close = False    # the '}' closing a block of statements

    def __repr__(self):
        return "%s:%d:%d" % (self.text, self.line, self.col)


def lex(src):
    toks = []
    i, n, line, bol = 0, len(src), 1, 0
    at_line_start = True
    while i < n:
        c = src[i]
        if c == "\n":
            i += 1
            line += 1
            bol = i
            at_line_start = True
            continue
        if c in " \t\r\f\v":
            i += 1
            continue
        if c == "#" and at_line_start:  # a preprocessor line, with continuations
            while i < n and src[i] != "\n":
                if src[i] == "\\" and i + 1 < n and src[i + 1] == "\n":
                    i += 2
                    line += 1
                    bol = i
                    continue
                i += 1
            continue
        at_line_start = False
        if src.startswith("//", i):
            while i < n and src[i] != "\n":
                i += 1
            continue
        if src.startswith("/*", i):
            j = src.index("*/", i + 2) + 2
            line += src.count("\n", i, j)
            if "\n" in src[i:j]:
                bol = src.rindex("\n", i, j) + 1
            i = j
            continue
        if c in "\"'":
            j = i + 1
            while src[j] != c:
                j += 2 if src[j] == "\\" else 1
            toks.append(Tok("string", src[i:j + 1], i, j + 1, line, i - bol + 1))
            i = j + 1
            continue
        m = NUMBER.match(src, i) if (c.isdigit() or (c == "." and i + 1 < n and src[i + 1].isdigit())) else None
        if m:
            toks.append(Tok("number", m.group(), i, m.end(), line, i - bol + 1))
            i = m.end()
            continue
        m = IDENT.match(src, i)
        if m:
            toks.append(Tok("ident", m.group(), i, m.end(), line, i - bol + 1))
            i = m.end()
            continue
        for p in PUNCT:
            if src.startswith(p, i):
                toks.append(Tok("punct", p, i, i + len(p), line, i - bol + 1))
                i += len(p)
                break
        else:
            raise ValueError("cannot read %r at line %d" % (c, line))
    return toks


# --------------------------------------------------------------------------
# Fault sites
# --------------------------------------------------------------------------

class Mutant:
    def __init__(self, path, tok_start, tok_end, line, col, op, orig, repl):
        self.path, self.start, self.end = path, tok_start, tok_end
        self.line, self.col, self.op, self.orig, self.repl = line, col, op, orig, repl
        self.status = None
        self.detail = ""
        self.seconds = 0.0

    @property
    def key(self):
        return (self.path, self.line, self.col, self.op, squash(self.orig), squash(self.repl))

    def name(self):
        return "%s:%d:%d %s: %s => %s" % (self.path, self.line, self.col, self.op, squash(self.orig),
                                         squash(self.repl))

    def apply(self, src):
        return src[:self.start] + self.repl + src[self.end:]

    def diff(self, src):
        return "".join(difflib.unified_diff(src.splitlines(True), self.apply(src).splitlines(True),
                                            "a/" + self.path, "b/" + self.path, n=1))


def squash(text):
    return " ".join(text.split())


def type_names(texts):
    """Type names declared anywhere in the given sources (struct, class, enum,
    template parameters), besides the t_ and _t conventions."""
    names = set()
    for text in texts:
        names.update(re.findall(r"\b(?:struct|class|enum(?:\s+class)?|typename)\s+([A-Za-z_]\w*)", text))
    return names


def is_type(tok, types):
    if tok is None or tok.kind != "ident":
        return False
    t = tok.text
    return t in BUILTIN_TYPES or t in types or t.startswith("t_") or t.endswith("_t")


TEMPLATE_INNER = {"::", ",", "*", "&", "<", ">", ">>"}


def mark_templates(toks):
    """Marks the tokens of template argument lists: a '<' after a name whose
    matching '>' closes a run of names, numbers and type punctuation, followed
    by something a template-id can be followed by."""
    n = len(toks)
    for i, t in enumerate(toks):
        if t.text != "<" or t.templ or i == 0 or toks[i - 1].kind != "ident":
            continue
        if toks[i - 1].text in KEYWORDS and toks[i - 1].text != "template":
            continue
        depth, j = 1, i + 1
        while j < n and depth:
            u = toks[j]
            if u.text == "<":
                depth += 1
            elif u.text == ">":
                depth -= 1
            elif u.text == ">>":
                depth -= 2
            elif not (u.kind in ("ident", "number") or u.text in TEMPLATE_INNER or u.text in ("(", ")")):
                break
            j += 1
        if depth > 0 or j >= n or depth < 0:
            continue
        if toks[j].text not in ("(", "::", "{", ">", ",", ")", ";", "*", "&") and toks[j].kind != "ident":
            continue
        for k in range(i, j):
            toks[k].templ = True


def operand_before(toks, i, types):
    """True when the token before toks[i] ends an operand, so that toks[i] is
    a binary operator (not unary, not part of a declarator)."""
    if i == 0:
        return False
    p = toks[i - 1]
    if p.kind == "number":
        return True
    if p.kind == "ident":
        return p.text not in KEYWORDS and not is_type(p, types) or p.text in ("this", "true", "false")
    return p.text in (")", "]")


SWAPS = {
    "relational": {"<": ["<=", ">=", ">"], "<=": ["<", ">", ">="], ">": [">=", "<=", "<"],
                   ">=": [">", "<", "<="]},
    "equality": {"==": ["!="], "!=": ["=="]},
    "arithmetic": {"+": ["-"], "-": ["+"], "*": ["/"], "/": ["*"], "%": ["/"]},
    "bitwise": {"&": ["|"], "|": ["&"], "^": ["|"]},
    "shift": {"<<": [">>"], ">>": ["<<"]},
    "assignment": {"+=": ["-="], "-=": ["+="], "*=": ["/="], "/=": ["*="], "%=": ["/="], "&=": ["|="],
                   "|=": ["&="], "^=": ["|="], "<<=": [">>="], ">>=": ["<<="]},
    "logical": {"&&": ["||"], "||": ["&&"]},
    "increment": {"++": ["--"], "--": ["++"]},
}
BINARY_OPS = {op: kind for kind in ("relational", "equality", "arithmetic", "bitwise", "shift")
              for op in SWAPS[kind]}
OUTLET_CALL = re.compile(r"^(?:\w+::)*(?!outlet_new\b)(?:outlet_\w+|send_bytes|\w+_pair)\s*\(")


def literal_plus_minus(text):
    """The literal's text with 1 added and taken away, keeping its form."""
    m = re.match(r"^(0[xX][0-9a-fA-F']+|[\d'.]+(?:[eE][+-]?\d+)?)([fFlLuU]*)$", text)
    if not m:
        return []
    body, suffix = m.group(1).replace("'", ""), m.group(2)
    if body[:2] in ("0x", "0X"):
        v = int(body, 16)
        width = len(body) - 2
        out = []
        for w in (v + 1, v - 1):
            out.append("0x%0*X" % (width, w) + suffix if w >= 0 else "(-0x1" + suffix + ")")
        return out
    if re.match(r"^\d+$", body):
        v = int(body)
        return [str(v + 1) + suffix, (str(v - 1) + suffix) if v > 0 else "(-1" + suffix + ")"]
    if "f" in suffix.lower() and "x" not in body:
        limit = 2 ** 24
    else:
        limit = 2 ** 53
    v = float(body)
    if v != int(v) or abs(v) + 1 >= limit:
        return []
    out = []
    for w in (v + 1, v - 1):
        s = ("%.1f" % w) if "e" not in body.lower() else repr(w)
        out.append(s + suffix if w >= 0 else "(" + s + suffix + ")")
    return out


def statement_sites(toks, src, path, mutants, types):
    """Expression statements (and break, continue, return;) inside function
    bodies, each one deleted."""
    n = len(toks)
    # header parentheses and label colons
    for i, t in enumerate(toks):
        if t.text in ("if", "for", "while", "switch") and i + 1 < n and toks[i + 1].text == "(":
            depth = 0
            for j in range(i + 1, n):
                if toks[j].text in ("(", "["):
                    depth += 1
                elif toks[j].text in (")", "]"):
                    depth -= 1
                    if depth == 0:
                        toks[j].header_close = True
                        break
        if t.text in ("case", "default"):
            depth = 0
            for j in range(i + 1, n):
                if toks[j].text in ("(", "["):
                    depth += 1
                elif toks[j].text in (")", "]"):
                    depth -= 1
                elif toks[j].text == ":" and depth == 0:
                    toks[j].label_colon = True
                    break
    stack = []  # (text, is_body)
    for i, t in enumerate(toks):
        prev = toks[i - 1] if i else None
        in_body = bool(stack) and stack[-1] == ("{", True)
        starts = in_body and prev is not None and (
            prev.text in (";", "{", "else", "do") or prev.body_close or prev.header_close or prev.label_colon)
        if starts and t.text not in ("{", "}", ";"):
            site = parse_statement(toks, i, types)
            if site:
                j, kind = site
                text = src[t.start:toks[j].end]
                op = "delete-outlet" if OUTLET_CALL.match(squash(text)) else "delete-statement"
                mutants.append(Mutant(path, t.start, toks[j].end, t.line, t.col, op, text, ";"))
        if t.text in ("(", "["):
            stack.append((t.text, False))
        elif t.text == "{":
            body = prev is not None and (prev.text in (")", "else", "do", "noexcept", "const")
                                         or prev.label_colon)
            stack.append(("{", body))
        elif t.text in (")", "]", "}") and stack:
            t.body_close = stack.pop() == ("{", True)


def parse_statement(toks, i, types):
    """The index of the ';' ending a deletable statement that starts at i, or None."""
    t = toks[i]
    if t.text in ("break", "continue"):
        return (i + 1, t.text) if i + 1 < len(toks) and toks[i + 1].text == ";" else None
    if t.text == "return":
        return (i + 1, "return") if toks[i + 1].text == ";" else None
    if t.kind == "ident" and t.text in KEYWORDS and t.text != "this":
        return None
    # a declaration: [ns::]* type name ...
    k = i
    while k + 2 < len(toks) and toks[k].kind == "ident" and toks[k + 1].text == "::":
        k += 2
    if is_type(toks[k], types) and (toks[k + 1].kind == "ident" or toks[k + 1].text in ("*", "&", "<")):
        return None
    if t.kind == "ident" and toks[i + 1].kind == "ident":
        return None
    depth = 0
    for j in range(i, len(toks)):
        x = toks[j].text
        if x in ("(", "[", "{"):
            depth += 1
        elif x in (")", "]", "}"):
            depth -= 1
            if depth < 0:
                return None
        elif x == ";" and depth == 0:
            return (j, "expr") if j > i else None
    return None


def find_mutants(path, src, types):
    toks = lex(src)
    mark_templates(toks)
    mutants = []

    def add(t, op, repl, orig=None):
        mutants.append(Mutant(path, t.start, t.end, t.line, t.col, op, orig or t.text, repl))

    for i, t in enumerate(toks):
        if t.kind == "number":
            for r in literal_plus_minus(t.text):
                add(t, "constant", r)
            continue
        if t.templ:
            continue
        if t.kind == "ident":
            if t.text in ("true", "false"):
                add(t, "boolean", "false" if t.text == "true" else "true")
            continue
        if t.kind != "punct":
            continue
        x = t.text
        if x in BINARY_OPS:
            if x in ("-", "+") and not operand_before(toks, i, types):
                if x == "-":
                    add(t, "unary-minus", "")
                continue
            if x in ("*", "&") and not operand_before(toks, i, types):
                continue
            if x in ("*", "&") and i + 1 < len(toks) and toks[i + 1].text in (")", ",", ">"):
                continue
            for r in SWAPS[BINARY_OPS[x]][x]:
                add(t, BINARY_OPS[x], r)
        elif x in SWAPS["assignment"]:
            for r in SWAPS["assignment"][x]:
                add(t, "assignment", r)
        elif x in SWAPS["logical"]:
            add(t, "logical", SWAPS["logical"][x][0])
        elif x in SWAPS["increment"]:
            add(t, "increment", SWAPS["increment"][x][0])
        elif x == "!":
            add(t, "negation", "")
    statement_sites(toks, src, path, mutants, types)
    mutants.sort(key=lambda m: (m.start, m.op, m.repl))
    return mutants


# --------------------------------------------------------------------------
# The tree: sources, who includes what, which tests concern which class
# --------------------------------------------------------------------------

def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def rel(path):
    return os.path.relpath(os.path.abspath(path), ROOT)


def class_sources():
    """{relative source path: class name} for every class source in the tree."""
    out = {}
    for fam in FAMILIES:
        d = os.path.join(ROOT, fam)
        for name in sorted(os.listdir(d)):
            if name.endswith(".cpp"):
                out["%s/%s" % (fam, name)] = name[:-4]
    return out


def headers():
    out = []
    for top in FAMILIES + SHARED:
        for dirpath, _, names in os.walk(os.path.join(ROOT, top)):
            out += [rel(os.path.join(dirpath, n)) for n in sorted(names) if n.endswith(".h")]
    return sorted(out)


def includes_of(path):
    """The project files a source includes directly (quoted includes, looked
    up beside it, then in common/ and midi/ as the builds do)."""
    out = []
    for name in re.findall(r'^\s*#\s*include\s+"([^"]+)"', read(os.path.join(ROOT, path)), re.M):
        for base in (os.path.dirname(path), "common", "midi"):
            cand = os.path.normpath(os.path.join(base, name))
            if os.path.exists(os.path.join(ROOT, cand)):
                out.append(cand)
                break
    return out


def includers(target, sources):
    """The sources among `sources` that include `target`, directly or not (or are it)."""
    memo = {}

    def reaches(p, seen=()):
        if p == target:
            return True
        if p not in memo:
            memo[p] = any(reaches(q, seen + (p,)) for q in includes_of(p) if q not in seen)
        return memo[p]
    return [s for s in sources if reaches(s)]


def tests_for_classes(classes):
    """Test modules concerning any of the classes, more specific files first."""
    files = sorted(f for f in os.listdir(HERE) if f.startswith("test_") and f.endswith(".py"))
    named = {}
    for f in files:
        text = read(os.path.join(HERE, f))
        named[f] = {c for c in class_sources().values()
                    if re.search(r"(?:\w:[ \t]+|[\"'])" + re.escape(c) + r"(?=[\s\"'\\]|$)", text, re.M)}
    chosen = [f for f in files if named[f] & set(classes)]
    chosen.sort(key=lambda f: (len(named[f]), f))
    return [f[:-3] for f in chosen]


# The host-free test programs: build target, ctest name prefix, source folder.
HOST_FREE = [("tessel_unit", "unit.", "unit"), ("tessel_variants", "variants.", "variants")]

# The cases of the variants program that run a class source's routines
# (gtest filters); a fault in a shared header runs every case, and so does
# one in a source not named here. Without this a fault in swap~ would wait
# for quantize~'s comparisons over every 32-bit pattern.
VARIANT_CASES = {
    "signal/quantize~.cpp": "*QuantizeEveryPattern*:Variants.QuantizeModes",
    "signal/swap~.cpp": "Variants.SwapEveryPattern",
    "signal/sgn~.cpp": "Variants.SignAndAbsoluteValue",
    "signal/rectify~.cpp": "Variants.SignAndAbsoluteValue",
    "signal/blockmean~.cpp": "Variants.BlockmeanSums",
    "signal/crosspitch~.cpp": "Variants.CrosspitchHalfturnRetroAndDelays:Crosspitch.*",
    "signal/halfturn~.cpp": "Variants.CrosspitchHalfturnRetroAndDelays:Halfturn.*",
    "signal/retro~.cpp": "Variants.CrosspitchHalfturnRetroAndDelays",
    "signal/z~.cpp": "Variants.CrosspitchHalfturnRetroAndDelays",
}


class Plan:
    """What one faulty file needs: build targets, test modules, and the
    host-free test programs whose sources include it."""

    def __init__(self, path):
        cls = class_sources()
        self.classes = [cls[s] for s in includers(path, list(cls))]
        self.targets = ["tessel_" + c.replace("~", "_tilde") for c in self.classes]
        self.host_free = []
        for target, _, folder in HOST_FREE:
            d = os.path.join(HERE, folder)
            srcs = [rel(os.path.join(d, n)) for n in sorted(os.listdir(d)) if n.endswith(".cpp")]
            if includers(path, srcs):
                self.host_free.append(target)
        self.targets += self.host_free
        self.unit = bool(self.host_free)
        self.tests = tests_for_classes(self.classes)
        self.filters = {"tessel_variants": VARIANT_CASES[path]} if path in VARIANT_CASES else {}


# --------------------------------------------------------------------------
# Workers: a copy of the tree and a sanitizer build each
# --------------------------------------------------------------------------

def tracked_files():
    try:
        out = subprocess.run(["git", "ls-files", "-z"], cwd=ROOT, capture_output=True, check=True).stdout
        return [p for p in out.decode().split("\0") if p and os.path.isfile(os.path.join(ROOT, p))]
    except (OSError, subprocess.CalledProcessError):
        out = []
        for dirpath, dirs, names in os.walk(ROOT):
            dirs[:] = [d for d in dirs if not d.startswith(("build", ".git", "__pycache__"))]
            out += [rel(os.path.join(dirpath, n)) for n in names]
        return out


def kill_group(proc):
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


def run_cmd(cmd, cwd=None, env=None, timeout=None):
    """(return code or None on time-out, output, seconds)."""
    t0 = time.time()
    proc = subprocess.Popen(cmd, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            start_new_session=True)
    try:
        out, _ = proc.communicate(timeout=timeout)
        rc = proc.returncode
    except subprocess.TimeoutExpired:
        kill_group(proc)
        out, _ = proc.communicate()
        rc = None
    return rc, out.decode("utf-8", "replace"), time.time() - t0


class Worker:
    def __init__(self, base, k, log):
        self.dir = os.path.join(base, "w%d" % k)
        self.src = os.path.join(self.dir, "src")
        self.build = os.path.join(self.dir, "build")
        self.log = log
        self.dirty = set()
        self.pending = set()  # targets whose sources were put back but not rebuilt yet
        self.env = None
        self.bins = {}  # host-free test program: its binary, as ctest runs it

    def setup(self):
        """Copies the tree (files whose content changed only) and builds it."""
        for p in tracked_files():
            a, b = os.path.join(ROOT, p), os.path.join(self.src, p)
            with open(a, "rb") as f:
                data = f.read()
            if os.path.exists(b):
                with open(b, "rb") as f:
                    if f.read() == data:
                        continue
            os.makedirs(os.path.dirname(b), exist_ok=True)
            shutil.copy2(a, b)
            os.utime(b)  # newer than anything built from the old content
        # -O1 rather than -O2 -g: the sanitizers work the same, and the
        # host-free unit tests (gtest) build in half the time
        rc, out, _ = run_cmd(["cmake", "-S", self.src, "-B", self.build, "-DTESSEL_SANITIZE=ON",
                              "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1",
                              "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1"])
        if rc != 0:
            raise SystemExit("configuring %s failed:\n%s" % (self.build, out))
        rc, out, secs = run_cmd(["cmake", "--build", self.build, "-j", "1"])
        if rc != 0:
            raise SystemExit("building %s failed:\n%s" % (self.build, out[-4000:]))
        self.log("worker %s built (%.0f s)" % (self.dir, secs))
        self.read_ctest()
        self.fault_free = self.snapshot()

    def changed(self):
        """The classes and host-free programs whose built bytes differ from
        the fault-free build's."""
        now, out = self.snapshot(), set()
        programs = {b: t for t, b in self.bins.items()}
        for p, digest in now.items():
            if digest != self.fault_free.get(p):
                out.add(programs.get(p) or os.path.basename(p).rsplit(".", 1)[0])
        return out

    def snapshot(self):
        """The bytes of every module and host-free test program built."""
        files = [os.path.join(self.build, "tessel", f) for f in sorted(os.listdir(os.path.join(self.build, "tessel")))]
        out = {}
        for p in files + sorted(self.bins.values()):
            if os.path.isfile(p):
                with open(p, "rb") as f:
                    out[p] = hashlib.sha256(f.read()).hexdigest()
        return out

    def read_ctest(self):
        """The test environment and the unit test binary, as ctest runs them."""
        rc, out, _ = run_cmd(["ctest", "--test-dir", self.build, "--show-only=json-v1"])
        info = json.loads(out[out.index("{"):])
        for test in info["tests"]:
            props = {p["name"]: p["value"] for p in test.get("properties", [])}
            if test["name"].startswith("host.") and self.env is None:
                self.env = dict(os.environ)
                for kv in props.get("ENVIRONMENT", []):
                    k, v = kv.split("=", 1)
                    self.env[k] = v
                # LeakSanitizer on too (the suite passes with it): a fault
                # that only leaks is caught as well
                self.env["ASAN_OPTIONS"] = "detect_leaks=1:abort_on_error=0:exitcode=66"
            for target, prefix, _ in HOST_FREE:
                if test["name"].startswith(prefix) and target not in self.bins:
                    self.bins[target] = test["command"][0]
        if self.env is None:
            raise SystemExit("no host tests in %s" % self.build)

    def write(self, path, text):
        p = os.path.join(self.src, path)
        with open(p, "w", encoding="utf-8") as f:
            f.write(text)
        now = time.time()
        os.utime(p, (now, now))

    def compile(self, targets):
        rc, out, _ = run_cmd(["cmake", "--build", self.build, "-j", "1", "--target"] + sorted(set(targets)))
        return rc == 0, out

    def restore(self, sources, keep=None):
        """Puts back every faulty file but `keep`; the targets to rebuild."""
        targets = []
        for path in sorted(self.dirty - {keep}):
            self.write(path, sources[path])
            targets += Plan(path).targets
            self.dirty.discard(path)
        return targets

    def run_tests(self, plan, timeout, programs=None, host=True, first=()):
        """(passed, what failed or timed out, seconds). `programs`: the
        host-free test programs to run (default: all of the plan's); `host`:
        whether the host test modules run; `first`: test ids
        (module.Class.test) to run before everything else, as a quicker way
        to a failure; they run again in their module when it runs."""
        t0 = time.time()

        def left():
            return None if timeout is None else max(1, timeout - (time.time() - t0))

        def unittest(ids):
            rc, out, _ = run_cmd([sys.executable, "-m", "unittest", "-f"] + list(ids),
                                 cwd=os.path.join(self.src, "tests"), env=self.env, timeout=left())
            if rc == 0:
                return None
            if rc is None:
                return "time-out in " + " ".join(ids)
            m = re.search(r"^(?:FAIL|ERROR): (\S+) \(([\w.]+)\)", out, re.M)
            if not m:
                return squash(out[-200:])
            return m.group(2) if m.group(2).endswith("." + m.group(1)) else m.group(2) + "." + m.group(1)

        if first and plan.tests:
            what = unittest(first)
            if what:
                return False, what, time.time() - t0
        for target in plan.host_free if programs is None else programs:
            if target not in self.bins:
                continue
            cmd = [self.bins[target], "--gtest_fail_fast", "--gtest_brief=1"]
            if target in plan.filters:
                cmd.append("--gtest_filter=" + plan.filters[target])
            rc, out, _ = run_cmd(cmd, timeout=left())
            if rc != 0:
                what = "unit tests" if target == "tessel_unit" else target[len("tessel_"):] + " tests"
                return False, what + (" (time-out)" if rc is None else ""), time.time() - t0
        if host and plan.tests:
            what = unittest(plan.tests)
            if what:
                return False, what, time.time() - t0
        return True, "", time.time() - t0


# --------------------------------------------------------------------------
# The list of equivalent faults
# --------------------------------------------------------------------------

ENTRY = re.compile(r"^(\S+):(\d+):(\d+) ([\w-]+): (.*?) => (.*?)\s+# (.+)$")


def read_equivalents(path=EQUIVALENT_LIST):
    entries = {}
    if not os.path.exists(path):
        return entries
    for n, line in enumerate(read(path).splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            continue
        m = ENTRY.match(line)
        if not m:
            raise SystemExit("%s:%d: cannot read entry" % (path, n))
        key = (m.group(1), int(m.group(2)), int(m.group(3)), m.group(4), m.group(5), m.group(6))
        entries[key] = m.group(7)
    return entries


# --------------------------------------------------------------------------
# The run
# --------------------------------------------------------------------------

def select_files(args):
    cls = class_sources()
    if args.cls:
        by_name = {v: k for k, v in cls.items()}
        missing = [c for c in args.cls if c not in by_name]
        if missing:
            raise SystemExit("no such class: " + " ".join(missing))
        return [by_name[c] for c in args.cls]
    everything = sorted(cls) + headers()
    if not args.paths:
        return everything
    chosen = []
    for p in args.paths:
        r = rel(p)
        hits = [f for f in everything if f == r or f.startswith(r.rstrip("/") + "/")]
        if not hits:
            raise SystemExit("no class source or header at " + p)
        chosen += [h for h in hits if h not in chosen]
    return chosen


def all_mutants(files):
    texts = [read(os.path.join(ROOT, f)) for f in sorted(set(class_sources()) | set(headers()))]
    types = type_names(texts)
    out = []
    for f in files:
        out += find_mutants(f, read(os.path.join(ROOT, f)), types)
    return out


# --------------------------------------------------------------------------
# The record: outcomes kept between runs
# --------------------------------------------------------------------------
# A run over every fault takes hours on two cores. With --record, each
# fault's outcome is written to a file as soon as it is known, together with
# a fingerprint of everything the outcome depends on for the faulty file: the
# contents of the sources its modules are built from (the faulty file and
# every project file they include), of the test modules that run for it and
# of the bench, of the build lists, and the host binary and compiler in use.
# A later run takes an outcome from the record only while that fingerprint
# is unchanged, and runs the fault otherwise; so a run over everything can
# be done in parts, and what it reports is what a single run would report.
# Whether a fault whose tests passed is equivalent or survived is decided at
# report time, from the list as it stands.

def fingerprint_files(path, plan):
    """The contents a fault's outcome depends on for its file, read now (as
    the workers copy the tree), so that an edit during the run does not
    enter a fingerprint."""
    cls = class_sources()
    files, todo = set(), [path] + [src for src, c in cls.items() if c in plan.classes]
    for target, _, folder in HOST_FREE:  # the host-free programs that run for the file
        if target in plan.host_free:
            d = os.path.join(HERE, folder)
            for n in sorted(os.listdir(d)):
                f = rel(os.path.join(d, n))
                # a test source that does not include the faulty file builds
                # the same with and without the fault, and its tests pass
                # either way: it is left out, so that tests added for one
                # header do not send another header's outcomes back
                if n.endswith(".cpp") and not includers(path, [f]):
                    continue
                todo.append(f)
    while todo:
        f = todo.pop()
        if f in files or not os.path.isfile(os.path.join(ROOT, f)):
            continue
        files.add(f)
        if f.endswith((".cpp", ".h")):
            todo += includes_of(f)
    files |= {"tests/%s.py" % t for t in plan.tests}
    files |= {"tests/bench.py", "tests/runtests.py", "tests/bench/tessel_bench.cpp", "CMakeLists.txt",
              "tests/CMakeLists.txt", "cmake/objects.txt"}
    out = []
    for f in sorted(files):
        full = os.path.join(ROOT, f)
        if os.path.isfile(full):
            with open(full, "rb") as fh:
                out.append(f.encode() + b"\0" + fh.read() + b"\0")
    return out


def fingerprint(contents, host, compiler):
    h = hashlib.sha256()
    for c in contents:
        h.update(c)
    h.update(host.encode() + b"\0" + compiler.encode())
    return h.hexdigest()[:32]


def tool_identity(env):
    """The host binary (its bytes) and the compiler (its version line)."""
    host = ""
    pd = env.get("PD", "")
    if pd and os.path.isfile(os.path.realpath(pd)):
        with open(os.path.realpath(pd), "rb") as f:
            host = hashlib.sha256(f.read()).hexdigest()
    rc, out, _ = run_cmd(["c++", "--version"])
    return host, out.splitlines()[0] if out else ""


class Record:
    def __init__(self, path):
        self.path = path
        self.files, self.faults = {}, {}
        if path and os.path.exists(path):
            with open(path) as f:
                data = json.load(f)
            self.files, self.faults = data.get("files", {}), data.get("faults", {})

    def fresh(self, fps):
        """Drops what was recorded under another fingerprint of its file."""
        stale = {f for f, fp in self.files.items() if fps.get(f, fp) != fp}
        for name in [n for n in self.faults if n.split(":", 1)[0] in stale]:
            del self.faults[name]
        for f in stale:
            del self.files[f]
        return stale

    def put(self, m, fp, outcome):
        self.files[m.path] = fp
        self.faults[m.name()] = [outcome, m.detail, round(m.seconds, 1)]

    def save(self):
        if not self.path:
            return
        tmp = self.path + ".tmp"
        with open(tmp, "w") as f:
            json.dump({"about": "outcomes of tests/mutate.py runs, kept while each file's fingerprint holds",
                       "files": dict(sorted(self.files.items())),
                       "faults": dict(sorted(self.faults.items()))}, f, indent=0)
            f.write("\n")
        os.replace(tmp, self.path)


def status_of(outcome, key, equivalents):
    if outcome == "passed":
        return "equivalent" if key in equivalents else "survived"
    if outcome == "caught":
        return "wrong entry" if key in equivalents else "caught"
    return outcome


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("paths", nargs="*", help="sources, headers or folders (default: every class source and header)")
    ap.add_argument("--class", dest="cls", action="append", help="the source of this class (repeatable)")
    ap.add_argument("--all", action="store_true", help="every fault of the chosen files")
    ap.add_argument("--sample", type=int, help="this many faults, drawn with --seed")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--campaign", choices=sorted(CAMPAIGNS), help="a fixed campaign (ci: the short one)")
    ap.add_argument("--op", action="append", help="only faults of this operator (repeatable)")
    ap.add_argument("--line", action="append", help="only faults on this line, as FILE:LINE (repeatable)")
    ap.add_argument("--rerun", help="only the faults that survived in this --json file of an earlier run")
    ap.add_argument("--jobs", type=int, default=1, help="workers, each with its own build (at most 2 here)")
    ap.add_argument("--build-dir", default=os.path.join(ROOT, "build-mutate"))
    ap.add_argument("--list", action="store_true", help="print the faults and stop")
    ap.add_argument("--json", help="write every result to this file")
    ap.add_argument("--quiet", action="store_true", help="no line per fault")
    ap.add_argument("--record", help="take outcomes from this file where they still hold, and add new ones to it")
    ap.add_argument("--budget", type=float, help="start no fault after this many minutes (the rest: not run)")
    args = ap.parse_args(argv)
    if args.campaign:
        c = CAMPAIGNS[args.campaign]
        args.paths, args.sample, args.seed = c["paths"], c["sample"], c["seed"]
    if not (args.all or args.sample or args.list or args.rerun or args.line):
        ap.error("say --all, --sample N, --campaign, --rerun, --line or --list")

    files = select_files(args)
    mutants = all_mutants(files)
    if args.op:
        mutants = [m for m in mutants if m.op in args.op]
    if args.line:
        want = {tuple(x.rsplit(":", 1)) for x in args.line}
        mutants = [m for m in mutants if (m.path, str(m.line)) in want]
    if args.rerun:
        with open(args.rerun) as f:
            old = {(e["file"], e["line"], e["col"], e["op"], squash(e["orig"]), squash(e["repl"]))
                   for e in json.load(f) if e["status"] in ("survived", "wrong entry")}
        mutants = [m for m in mutants if m.key in old]
        if len(mutants) < len(old):
            print("%d of the %d survivors are no longer among the faults (the source changed)"
                  % (len(old) - len(mutants), len(old)))
    if args.sample and not args.all and args.sample < len(mutants):
        picked = sorted(random.Random(args.seed).sample(range(len(mutants)), args.sample))
        mutants = [mutants[i] for i in picked]
    if args.list:
        for m in mutants:
            print(m.name())
        print("%d faults in %d files" % (len(mutants), len(files)))
        return 0

    equivalents = read_equivalents()
    known = {m.key for m in all_mutants(files)}
    stale = sorted(k for k in equivalents if k[0] in files and k not in known)
    if stale:
        # the source changed under an entry: it no longer names a fault
        print("entries of %s that name no fault (the source changed):\n  %s" % (
            os.path.relpath(EQUIVALENT_LIST, ROOT),
            "\n  ".join("%s:%d:%d %s: %s => %s" % k for k in stale)))
        return 1
    lock = threading.Lock()

    def log(msg):
        with lock:
            print(msg, flush=True)

    plans = {f: Plan(f) for f in sorted({m.path for m in mutants})}
    sources = {f: read(os.path.join(ROOT, f)) for f in plans}
    contents = {f: fingerprint_files(f, p) for f, p in plans.items()} if args.record else {}
    os.makedirs(args.build_dir, exist_ok=True)
    t_start = time.time()
    workers = [Worker(args.build_dir, k, log) for k in range(max(1, args.jobs))]
    threads = [threading.Thread(target=w.setup) for w in workers]
    for t in threads:
        t.start()
    for t in threads:
        t.join()

    # fault-free runs: the suite must pass, and they set the time limits
    limits, failures = {}, []
    kinds = {}
    for f, p in plans.items():
        kinds.setdefault((tuple(p.tests), p.unit, tuple(sorted(p.filters.items()))), []).append(f)
    queue = list(kinds)

    def baseline(w):
        while True:
            with lock:
                if not queue:
                    return
                kind = queue.pop(0)
            ok, what, secs = w.run_tests(plans[kinds[kind][0]], timeout=600)
            with lock:
                for f in kinds[kind]:
                    limits[f] = max(60.0, 5 * secs)
                if not ok:
                    failures.append("%s: %s" % (" ".join(kind[0]), what))
    threads = [threading.Thread(target=baseline, args=(w,)) for w in workers]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    if failures:
        print("the tests fail without any fault:\n  " + "\n  ".join(failures))
        return 2

    record = Record(args.record)
    fps = {}
    if args.record:
        host, compiler = tool_identity(workers[0].env)
        fps = {f: fingerprint(contents[f], host, compiler) for f in plans}
        stale = record.fresh(fps)
        if stale:
            print("recorded outcomes that no longer hold (their file's fingerprint changed): " + " ".join(sorted(stale)))
    todo = []
    for m in mutants:
        got = record.faults.get(m.name()) if record.files.get(m.path) == fps.get(m.path) else None
        if got:
            m.status, m.detail, m.seconds = status_of(got[0], m.key, equivalents), got[1], got[2]
            m.reused = True
        else:
            todo.append(m)
    if args.record:
        print("%d of %d faults taken from %s, %d to run" % (len(mutants) - len(todo), len(mutants),
                                                            os.path.relpath(args.record, ROOT), len(todo)))
    deadline = t_start + 60 * args.budget if args.budget is not None else None
    # the tests that caught a fault of a file run first for its next fault
    catchers = {}
    for m in mutants:
        if m.status in ("caught", "wrong entry") and re.match(r"^test_\w+\.\w+\.\w+$", m.detail):
            catchers.setdefault(m.path, []).insert(0, m.detail)
    total = len(todo)
    done = [0]

    def work(w):
        while True:
            with lock:
                if not todo or (deadline and time.time() > deadline):
                    break
                m = todo.pop(0)
                first = list(dict.fromkeys(catchers.get(m.path, [])))[:2]
            plan = plans[m.path]
            w.pending.update(w.restore(sources, keep=m.path))  # built with the next whole build
            w.write(m.path, m.apply(sources[m.path]))
            w.dirty.add(m.path)
            t0 = time.time()
            passed, ok, what = True, True, ""
            if "tessel_unit" in plan.host_free:
                # the unit tests first: they build in one step and catch
                # most faults of a shared header before any module is built
                ok = w.compile(["tessel_unit"])[0]
                if ok:
                    passed, what, _ = w.run_tests(plan, limits[m.path], ["tessel_unit"], host=False)
            if ok and passed and first:
                # then the modules alone (every one a restored file left
                # behind too, so that no test meets a faulty one) and the
                # tests that caught this file's last faults; the variants
                # program, slow to build, waits
                mods = (w.pending | set(plan.targets)) - {t for t, _, _ in HOST_FREE}
                ok = w.compile(sorted(mods))[0]
                if ok:
                    w.pending -= mods
                    passed, what, _ = w.run_tests(plan, limits[m.path], [], host=False, first=first)
            if not ok:
                m.status, m.detail = "did not compile", ""
            elif not passed:
                m.status = "wrong entry" if m.key in equivalents else "caught"
                m.detail = what
            elif not w.compile(sorted(w.pending | set(plan.targets)))[0]:
                m.status, m.detail = "did not compile", ""
            elif w.snapshot() == w.fault_free:
                # byte for byte the fault-free build: code this target does
                # not compile (another system's or float size's branch), or
                # the same machine code
                w.pending.clear()
                m.status, m.detail = "same code", ""
            else:
                w.pending.clear()
                # only the modules and programs whose bytes the fault changed
                # can fail a test: the tests of the others are left out (a
                # fault in a shared header mostly touches a few classes)
                changed = w.changed()
                narrow = Plan.__new__(Plan)
                narrow.__dict__.update(plan.__dict__)
                narrow.classes = [c for c in plan.classes if c in changed]
                narrow.tests = tests_for_classes(narrow.classes)
                passed, what, _ = w.run_tests(narrow, limits[m.path],
                                              [t for t in plan.host_free if t != "tessel_unit" and t in changed])
                if passed:
                    m.status = "equivalent" if m.key in equivalents else "survived"
                else:
                    m.status = "wrong entry" if m.key in equivalents else "caught"
                    m.detail = what
            m.seconds = time.time() - t0
            outcome = {"equivalent": "passed", "survived": "passed", "wrong entry": "caught"}.get(m.status, m.status)
            with lock:
                done[0] += 1
                n = done[0]
                if m.status in ("caught", "wrong entry") and m.detail.startswith("test_"):
                    catchers.setdefault(m.path, []).insert(0, m.detail)
                if args.record and not m.detail.startswith("time-out"):
                    record.put(m, fps[m.path], outcome)
                    record.save()
            if not args.quiet:
                log("[%d/%d] %-15s %s%s" % (n, total, m.status, m.name(),
                                            ("  (%s)" % m.detail) if m.detail else ""))
        w.compile(sorted(w.pending | set(w.restore(sources))))
    threads = [threading.Thread(target=work, args=(w,)) for w in workers]
    for t in threads:
        t.start()
    for t in threads:
        t.join()

    return report(mutants, sources, equivalents, files, time.time() - t_start, args)


def report(mutants, sources, equivalents, files, seconds, args):
    for m in mutants:
        if m.status is None:
            m.status = "not run"
    statuses = ("caught", "equivalent", "survived", "did not compile", "same code", "wrong entry", "not run")
    print()
    print("%-28s %7s %7s %7s %7s %7s %7s %7s" % ("file", "seeded", "caught", "equiv", "survived", "nocomp",
                                              "same", "score"))
    total = {s: 0 for s in statuses}
    for f in files:
        ms = [m for m in mutants if m.path == f]
        if not ms:
            continue
        c = {s: sum(m.status == s for m in ms) for s in statuses}
        for s in statuses:
            total[s] += c[s]
        print("%-28s %7d %7d %7d %7d %7d %7d %7s" % (f, len(ms), c["caught"], c["equivalent"],
                                                     c["survived"] + c["wrong entry"], c["did not compile"],
                                                     c["same code"], score(c)))
    print("%-28s %7d %7d %7d %7d %7d %7d %7s" % ("total", len(mutants), total["caught"], total["equivalent"],
                                                 total["survived"] + total["wrong entry"],
                                                 total["did not compile"], total["same code"], score(total)))
    print("%d faults seeded, %d caught, %d equivalent, %d survived, %d did not compile, %d built to the same "
          "code; score %s (%.0f s)"
          % (len(mutants), total["caught"], total["equivalent"], total["survived"], total["did not compile"],
             total["same code"], score(total), seconds))
    reused = sum(1 for m in mutants if getattr(m, "reused", False))
    if reused:
        print("%d of these outcomes came from the record" % reused)
    if total["not run"]:
        print("%d faults not run: the time budget ran out (run again with the same --record to go on)"
              % total["not run"])
    bad = [m for m in mutants if m.status in ("survived", "wrong entry")]
    for m in bad:
        print()
        if m.status == "wrong entry":
            print("LISTED AS EQUIVALENT BUT CAUGHT (%s): %s" % (m.detail, m.name()))
        else:
            print("SURVIVED: " + m.name())
        print(m.diff(sources[m.path]), end="")
    if args.json:
        with open(args.json, "w") as f:
            json.dump([dict(file=m.path, line=m.line, col=m.col, op=m.op, orig=m.orig, repl=m.repl,
                            status=m.status, detail=m.detail, seconds=round(m.seconds, 2)) for m in mutants],
                      f, indent=1)
    return 1 if bad else 0


def score(c):
    counted = c["caught"] + c["survived"] + c["wrong entry"]
    return ("%.1f%%" % (100.0 * c["caught"] / counted)) if counted else "-"


if __name__ == "__main__":
    sys.exit(main())
