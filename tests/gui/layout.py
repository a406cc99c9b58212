"""The layout check: patches opened in the host's own Tk GUI under Xvfb.

run(patches) starts a virtual display and one `pd` with its GUI, loads the
plugin beside this file (layoutdump-plugin.tcl), which opens every patch in
turn, waits until each of its windows is drawn and writes every canvas item
(type, tags, bounding box, dash pattern, text) to a report. Every subpatch
is opened too: the patches are copied into a scratch folder with each
subpatch marked to open with its parent (`[pd reference]` and the like),
abstractions in the patch's folder are copied along.

check(window) then names what a reader would see as broken:
- "overlap": two boxes (objects, messages, number boxes, GUI objects,
  comments, graphs) whose drawn items touch;
- "outside": anything drawn past the window's edges;
- "broken": an object box drawn with the dashed outline of a box that
  could not be created;
- "rewritten": a comment the host draws with other words than the patch
  file holds (numbers re-formatted: "0." drawn as 0, 16777216 as
  1.67772e+07);
- "semicolon": a comment broken onto a new line by an escaped semicolon.

Command line: python3 tests/gui/layout.py PATCH... prints the problems.
"""
import collections
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
PD = os.environ.get("PD", "pd")
GUI_SCRIPT_DIRS = ("/usr/lib/puredata/tcl", "/usr/lib/pd/tcl", "/usr/share/puredata/tcl")

# Tk's bounding boxes may be a pixel larger than the item on each side
SLACK = 1


def unavailable():
    """Why the check cannot run here, or None."""
    # The GUI package belongs to the system's own host; the layout of a
    # patch does not depend on the modules' build, so one configuration (the
    # system's host, modules without sanitizers) runs the check for all.
    if os.environ.get("PD_LAUNCHER"):
        return "the host runs through a launcher (%s); the check runs with the system's host" % (
            os.environ["PD_LAUNCHER"])
    if os.environ.get("TESSEL_SANITIZE"):
        return "sanitizer build; the check runs on the plain build of the system's host"
    system_pd = shutil.which("pd") or "/usr/bin/pd"
    if os.path.realpath(shutil.which(PD) or PD) != os.path.realpath(system_pd):
        return "this configuration's host (%s) is not the system's, whose GUI is installed" % PD
    if not shutil.which("Xvfb"):
        return "Xvfb is not installed (Debian package xvfb)"
    if not any(os.path.exists(os.path.join(d, "pd-gui.tcl")) for d in GUI_SCRIPT_DIRS):
        return "the host's Tk GUI is not installed (Debian package puredata-gui)"
    if not shutil.which("wish") and not shutil.which("wish8.6"):
        return "Tk's wish is not installed (Debian package tk)"
    return None


# ---------------------------------------------------------------- Tcl lists

def tcl_list(s):
    """Splits one Tcl list (as Tcl's own [list] writes it) into its elements."""
    out, i, n = [], 0, len(s)
    while True:
        while i < n and s[i] in " \t\n":
            i += 1
        if i >= n:
            return out
        if s[i] == "{":
            depth, j = 1, i + 1
            while depth:
                if s[j] == "\\":
                    j += 2
                    continue
                if s[j] == "{":
                    depth += 1
                elif s[j] == "}":
                    depth -= 1
                j += 1
            out.append(s[i + 1:j - 1])
            i = j
        else:
            quoted = s[i] == '"'
            j = i + 1 if quoted else i
            word = []
            while j < n and (s[j] != '"' if quoted else s[j] not in " \t\n"):
                if s[j] == "\\" and j + 1 < n:
                    c = s[j + 1]
                    word.append({"n": "\n", "t": "\t"}.get(c, c))
                    j += 2
                else:
                    word.append(s[j])
                    j += 1
            out.append("".join(word))
            i = j + 1 if quoted else j


# ---------------------------------------------------------------- patch files

def records(text):
    """The records of a patch file, each as its list of atoms (escapes kept)."""
    out = []
    for rec in re.split(r"(?<!\\);\s*\n", text):
        rec = rec.strip()
        if rec:
            out.append(re.findall(r"(?:\\.|[^\s\\,;])+|[,;]", rec))
    return out


def with_subpatches_open(text):
    """The patch text with every subpatch set to open with its parent."""
    recs = re.split(r"((?<!\\);\s*\n)", text)
    first = True
    for k in range(0, len(recs), 2):
        if recs[k].lstrip().startswith("#N canvas"):
            if not first:
                recs[k] = re.sub(r"\s\d+\s*$", " 1", recs[k].rstrip())
            first = False
    return "".join(recs)


def comment_texts(text):
    """Every comment of a patch file as the host should draw it (normalised)."""
    out = []
    for atoms in records(text):
        if atoms[:2] == ["#X", "text"]:
            words = atoms[4:]
            if len(words) >= 3 and words[-3] == "," and words[-2] == "f":
                words = words[:-3]
            out.append(normalise(" ".join(words).replace("\\,", ",").replace("\\;", ";")
                                 .replace("\\$", "$")))
    return out


def normalise(s):
    s = re.sub(r"\s+", " ", s).strip()
    return re.sub(r" ([,;])", r"\1", s)


# ---------------------------------------------------------------- the run

class Item:
    def __init__(self, fields):
        self.id = int(fields[1])
        self.type = fields[2]
        self.tags = tcl_list(fields[3])
        self.bbox = [float(v) for v in tcl_list(fields[4])]
        self.dash = fields[5]
        self.text = bytes.fromhex(fields[7]).decode("utf-8", "replace")

    def key(self):
        """(the box this item belongs to, its kind or None when the item does
        not tell), or None for items that are no box (connections, array
        plots, edit-mode bars)."""
        first = self.tags[0] if self.tags else ""
        m = re.match(r"(\.x[0-9a-f]+\.t[0-9a-f]+)(.*)$", first)
        if m:
            if m.group(2) in ("", "R"):
                return m.group(1), self.tags[1] if len(self.tags) > 1 else None
            if re.match(r"[io]\d+$", m.group(2)):
                return m.group(1), None
            return None          # the comment bar of edit mode and the like
        m = re.match(r"(0x[0-9a-f]+)OBJ$", first)
        if m:
            return m.group(1), "gui"
        m = re.match(r"(graph[0-9a-f]+)$", first)
        if m:
            return m.group(1), "graph"
        return None


class Window:
    def __init__(self, fields):
        self.name = fields[1]
        self.title = bytes.fromhex(fields[2]).decode("utf-8", "replace")
        self.width, self.height = float(fields[3]), float(fields[4])
        self.x0, self.y0 = float(fields[5]), float(fields[6])
        self.items = []

    def boxes(self):
        """[(kind, [items])] for every box drawn in the window."""
        items, kinds = collections.OrderedDict(), {}
        for it in self.items:
            k = it.key()
            if k is None:
                continue
            if it.type == "text" and not it.text.strip():
                continue             # an empty label
            items.setdefault(k[0], []).append(it)
            if k[1]:
                kinds.setdefault(k[0], k[1])
        return [(kinds.get(k, "obj"), v) for k, v in items.items()]


class Patch:
    def __init__(self, path):
        self.path = path
        self.windows = []
        self.timed_out = False


def parse_report(text):
    patches = []
    for line in text.splitlines():
        fields = tcl_list(line)
        if not fields:
            continue
        if fields[0] == "patch":
            patches.append(Patch(fields[1]))
        elif fields[0] == "window":
            patches[-1].windows.append(Window(fields))
        elif fields[0] == "item":
            patches[-1].windows[-1].items.append(Item(fields))
        elif fields[0] == "timeout":
            patches[-1].timed_out = True
    return patches


def start_display():
    """Starts Xvfb on a free display; returns (process, display name)."""
    r, w = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1920x1200x24",
                             "-nolisten", "tcp"], pass_fds=(w,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    with os.fdopen(r) as f:
        number = f.readline().strip()
    if not number:
        proc.kill()
        proc.wait()
        raise RuntimeError("Xvfb did not start")
    return proc, ":" + number


def run(patches, path_dirs=(), timeout=300):
    """Opens every patch in one GUI session; returns (Patch list, console).
    Each patch is copied (with the .pd files beside it, for abstractions)
    into a scratch folder with its subpatches set to open."""
    with tempfile.TemporaryDirectory(prefix="tessel-layout-") as tmp:
        listed, copies = [], {}
        for p in patches:
            src_dir = os.path.dirname(os.path.abspath(p))
            if src_dir not in copies:
                d = copies[src_dir] = os.path.join(tmp, "%02d" % len(copies))
                os.makedirs(d)
                for f in os.listdir(src_dir):
                    if f.endswith(".pd"):
                        with open(os.path.join(src_dir, f)) as fin, \
                                open(os.path.join(d, f), "w") as fout:
                            fout.write(with_subpatches_open(fin.read()))
            listed.append(os.path.join(copies[src_dir], os.path.basename(p)))
        list_file = os.path.join(tmp, "patches.txt")
        report_file = os.path.join(tmp, "report.txt")
        with open(list_file, "w") as f:
            f.write("\n".join(listed) + "\n")
        xvfb, display = start_display()
        try:
            env = dict(os.environ, DISPLAY=display, TESSEL_LAYOUT_LIST=list_file,
                       TESSEL_LAYOUT_REPORT=report_file)
            args = [PD, "-noprefs", "-noaudio", "-nomidi", "-stderr", "-path", HERE]
            for d in path_dirs:
                args += ["-path", d]
            proc = subprocess.run(args, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                                  text=True, errors="replace", timeout=timeout)
            console = proc.stderr
        finally:
            xvfb.kill()
            xvfb.wait()
        if not os.path.exists(report_file):
            raise RuntimeError("the GUI wrote no report; console:\n" + console[-3000:])
        with open(report_file, encoding="utf-8") as f:
            text = f.read()
        if not text.rstrip().endswith("end"):
            raise RuntimeError("the GUI session ended early; console:\n" + console[-3000:])
        result = parse_report(text)
        # report the source paths, not the scratch copies
        for p, src in zip(result, patches):
            p.path = src
            p.source = open(src).read()
        return result, console


# ---------------------------------------------------------------- the check

def touches(a, b):
    return (min(a[2], b[2]) - max(a[0], b[0]) > 2 * SLACK and
            min(a[3], b[3]) - max(a[1], b[1]) > 2 * SLACK)


def label(kind, items):
    text = next((it.text for it in items if it.type == "text" and it.text.strip()), "")
    text = " ".join(text.split())
    if len(text) > 40:
        text = text[:37] + "..."
    return "%s '%s'" % ({"text": "comment", "gui": "GUI object"}.get(kind, kind), text)


def check_window(w):
    """[(kind of problem, description)] for one drawn window."""
    problems = []
    boxes = w.boxes()
    for i, (kinda, ia) in enumerate(boxes):
        for kindb, ib in boxes[i + 1:]:
            if any(touches(a.bbox, b.bbox) for a in ia for b in ib):
                problems.append(("overlap", "%s overlaps %s" % (label(kinda, ia), label(kindb, ib))))
    right, bottom = w.x0 + w.width, w.y0 + w.height
    for kind, items in boxes:
        for it in items:
            x1, y1, x2, y2 = it.bbox
            if x1 < w.x0 - SLACK or y1 < w.y0 - SLACK or x2 > right + SLACK or y2 > bottom + SLACK:
                problems.append(("outside", "%s reaches %d,%d past the window (%dx%d)" % (
                    label(kind, items), x2, y2, w.width, w.height)))
                break
        if kind == "obj" and any(it.type == "line" and it.dash for it in items):
            problems.append(("broken", "%s is a broken box" % label(kind, items)))
        if kind == "text":
            for it in items:
                if it.type == "text" and re.search(r";\n", it.text):
                    problems.append(("semicolon", "%s is broken onto a new line after ';'"
                                     % label(kind, items)))
    return problems


def check(patch):
    """[(kind, description)] for a patch and all its windows."""
    problems = []
    if patch.timed_out or not patch.windows:
        problems.append(("missing", "no window was drawn"))
    for w in patch.windows:
        problems += [(k, "%s: %s" % (w.title.split(" ")[0], d)) for k, d in check_window(w)]
    drawn = collections.Counter()
    for w in patch.windows:
        for kind, items in w.boxes():
            if kind == "text":
                drawn[normalise(" ".join(it.text for it in items if it.type == "text"))] += 1
    for c in comment_texts(patch.source):
        if drawn[c] > 0:
            drawn[c] -= 1
        else:
            problems.append(("rewritten", "the comment '%s' is drawn otherwise" % c[:60]))
    return problems


def main(argv):
    if unavailable():
        print("cannot run: " + unavailable())
        return 2
    path = os.environ.get("TESSEL_DIR", os.path.join(HERE, "..", "..", "build", "tessel"))
    patches, _ = run(argv, path_dirs=[path])
    bad = 0
    for p in patches:
        for kind, desc in check(p):
            bad += 1
            print("%s: %s: %s" % (os.path.basename(p.path), kind, desc))
    print("%d problems in %d patches" % (bad, len(patches)))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
