"""Help patches: every class has one beside its module, each shows its class
and opens in the host without errors, and the help browser finds it from
every class and alias name. The `[pd reference]` of each class lists as many
inlets and outlets as an object of the class has in the host, each with what
it takes or sends, and has an ARGUMENTS section."""
import glob
import os
import re
import sys
import tempfile
import unittest

from bench import EXT, TESSEL_DIR, run, run_patch

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "gui"))
import layout  # noqa: E402  (the patch-file reader)

CLASSES = os.environ.get("TESSEL_CLASSES", "").split()

# classes that share one help patch
SHARED_HELP = {"sgn~": "sigmathops", "rectify~": "sigmathops"}
ALIASES = {"volley", "peak", "trough"}


class HelpTest(unittest.TestCase):
    def test_every_class_has_a_help_patch(self):
        for m in sorted(glob.glob(os.path.join(TESSEL_DIR, "*" + EXT))):
            name = os.path.basename(m)[:-len(EXT)]
            if name in ALIASES:
                continue
            with self.subTest(cls=name):
                help_name = SHARED_HELP.get(name, name)
                self.assertTrue(os.path.exists(os.path.join(TESSEL_DIR, help_name + "-help.pd")))

    def test_help_patches_open_without_errors(self):
        patches = sorted(glob.glob(os.path.join(TESSEL_DIR, "*-help.pd")))
        self.assertTrue(patches)
        for p in patches:
            with self.subTest(patch=os.path.basename(p)):
                r = run_patch(p, args=["-send", "pd quit"])
                bad = [l for l in r.console if "couldn't create" in l or l.startswith("error:")
                       or "connection failed" in l or "bad arguments" in l]
                self.assertEqual(bad, [])

    def test_example_patches_open_without_errors(self):
        examples = os.path.join(os.environ.get("TESSEL_SOURCE_DIR", ".."), "examples")
        for name in ("demo.pd", "play.pd"):
            with self.subTest(patch=name):
                r = run_patch(os.path.join(examples, name), args=["-send", "pd quit"])
                self.assertEqual([l for l in r.console if "connection failed" in l or "bad arguments" in l], [])

    def test_each_patch_shows_its_class(self):
        for cls in CLASSES:
            with self.subTest(cls=cls):
                with open(os.path.join(TESSEL_DIR, SHARED_HELP.get(cls, cls) + "-help.pd")) as f:
                    text = f.read()
                box = re.compile(r"^#X obj -?\d+ -?\d+ %s[ ;]" % re.escape(cls), re.M)
                self.assertRegex(text, box)

    def test_help_browser_finds_the_patch_from_every_name(self):
        names = CLASSES + sorted(ALIASES) + ["tessel/" + a for a in sorted(ALIASES)]
        script = ["h: helpname help"] + ["o%d: %s" % (i, n) for i, n in enumerate(names)]
        script += ["h -> o%d" % i for i in range(len(names))] + ["@0 h bang"]
        r = run("\n".join(script), path_dirs=[TESSEL_DIR, os.path.dirname(os.path.abspath(TESSEL_DIR))])
        want = [SHARED_HELP.get(n, n) for n in CLASSES] + ["Peak", "Trough", "Volley"] * 2
        # the fan-out runs the first-made connection first
        self.assertEqual(r["help"], want)


# --- what a [pd reference] documents -----------------------------------------
#
# Sections are canvases labelled "INLETS:", "OUTLETS:", "ARGUMENTS:", ...
# (upper case, ending in a colon); inside INLETS and OUTLETS every inlet or
# outlet is a canvas labelled "1st:", "2nd:", ... followed by the comments
# that say what it takes or sends. A class with one inlet (one outlet) has
# the section "INLET:" ("OUTLET:") with its comments and no numbered entry;
# a class without outlets has "OUTLETS:" with the comment "none - ...".

ORDINALS = {1: "1st:", 2: "2nd:", 3: "3rd:"}


def references(text):
    """The records of every [pd reference] subpatch of a patch file."""
    out, stack = [], []
    for atoms in layout.records(text):
        if atoms[:2] == ["#N", "canvas"]:
            stack.append([])
        elif atoms[:2] == ["#X", "restore"]:
            body = stack.pop()
            if atoms[4:6] == ["pd", "reference"]:
                out.append(body)
        elif stack and len(stack) > 1:
            stack[-1].append(atoms)
    return out


def documented(body):
    """(the class box of a reference, {"inlets": n, "outlets": n}, problems)."""
    title = next(a for a in body if a[:2] == ["#X", "obj"])
    box = " ".join(title[4:])
    items = []
    for a in body:
        if a[:2] == ["#X", "obj"] and len(a) > 10 and a[4] == "cnv":
            items.append((int(a[3]), 0, a[10]))
        elif a[:2] == ["#X", "text"]:
            words = a[4:]
            if len(words) >= 3 and words[-3:-1] == [",", "f"]:
                words = words[:-3]
            items.append((int(a[3]), 1, " ".join(words)))
    sections, current = {}, None
    for _, is_text, value in sorted(items):
        if not is_text and re.fullmatch(r"[A-Z]+:", value):
            current = sections.setdefault(value[:-1], {"texts": [], "entries": []})
        elif not is_text and re.fullmatch(r"\d+(st|nd|rd|th):", value):
            if current is not None:
                current["entries"].append([value, []])
        elif is_text and current is not None:
            (current["entries"][-1][1] if current["entries"] else current["texts"]).append(value)
    problems, counts = [], {}
    for kind in ("inlets", "outlets"):
        one, many = kind[:-1].upper(), kind.upper()
        if one in sections:
            s = sections[one]
            if s["entries"]:
                problems.append("%s: numbered entries under a single %s" % (one, kind[:-1]))
            if not s["texts"]:
                problems.append("%s: nothing listed" % one)
            counts[kind] = 1
        elif many in sections:
            s = sections[many]
            labels = [label for label, _ in s["entries"]]
            want = [ORDINALS.get(n, "%dth:" % n) for n in range(1, len(labels) + 1)]
            if labels != want:
                problems.append("%s: entries %s, not %s" % (many, " ".join(labels), " ".join(want)))
            for label, texts in s["entries"]:
                if not texts:
                    problems.append("%s %s: nothing listed" % (many, label))
            if not labels and not any(t.split()[0] == "none" for t in s["texts"]):
                problems.append("%s: no entries and no 'none'" % many)
            counts[kind] = len(labels)
        else:
            problems.append("no %s section" % many)
    if "ARGUMENTS" not in sections:
        problems.append("no ARGUMENTS section")
    elif not sections["ARGUMENTS"]["texts"]:
        problems.append("ARGUMENTS: nothing listed (not even 'none')")
    return box, counts, problems


# --- how many inlets and outlets an object has in the host --------------------
#
# The probe is a patch: a [t b] wired to inlets 0 to 9 of every object under
# test and outlets 0 to 9 of each wired to a [snapshot~] (a signal inlet takes
# both signal and control connections). The host names each connection it
# cannot make ("... connection failed"); the ones it makes are the object's
# inlets and outlets. Host classes of known shape are probed alongside, so a
# host that reports failures otherwise fails the check instead of passing it.

PROBE_SLOTS = 10
KNOWN = {"pack 0 0 0": (3, 1), "moses": (2, 2), "osc~": (2, 1), "print": (1, 0)}
_FAILED = re.compile(r"(\d+) (\d+) (\d+) (\d+) \(.*\) connection failed")


def probe_ports(boxes):
    """{box text: (inlets, outlets)} of objects created in the host."""
    boxes = list(boxes) + [b for b in KNOWN if b not in boxes]
    lines = ["#N canvas 0 0 400 400 12;", "#X obj 10 10 t b;", "#X obj 10 300 snapshot~;"]
    lines += ["#X obj %d 100 %s;" % (10 + 5 * i, b) for i, b in enumerate(boxes)]
    for i in range(len(boxes)):
        for k in range(PROBE_SLOTS):
            lines.append("#X connect 0 0 %d %d;" % (i + 2, k))
            lines.append("#X connect %d %d 1 0;" % (i + 2, k))
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, "ports.pd")
        with open(path, "w") as f:
            f.write("\n".join(lines) + "\n")
        r = run_patch(path, args=["-send", "pd quit"], allow_errors=True)
    created = [l for l in r.console if "couldn't create" in l]
    assert not created, created
    missing_in = {i: set() for i in range(len(boxes))}
    missing_out = {i: set() for i in range(len(boxes))}
    for line in r.console:
        m = _FAILED.search(line)
        if m:
            src, out, sink, inl = map(int, m.groups())
            if src == 0:
                missing_in[sink - 2].add(inl)
            else:
                missing_out[src - 2].add(out)
    ports = {}
    for i, b in enumerate(boxes):
        ins = [k for k in range(PROBE_SLOTS) if k not in missing_in[i]]
        outs = [k for k in range(PROBE_SLOTS) if k not in missing_out[i]]
        # ports are numbered from 0 without gaps, and fewer than the slots
        assert ins == list(range(len(ins))) and len(ins) < PROBE_SLOTS, (b, ins)
        assert outs == list(range(len(outs))) and len(outs) < PROBE_SLOTS, (b, outs)
        ports[b] = (len(ins), len(outs))
    for b, shape in KNOWN.items():
        assert ports[b] == shape, "the probe sees %s as %r, not %r" % (b, ports[b], shape)
    return ports


class ReferenceTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.refs = []   # (help patch, box, counts, problems)
        for p in sorted(glob.glob(os.path.join(TESSEL_DIR, "*-help.pd"))):
            with open(p) as f:
                for body in references(f.read()):
                    cls.refs.append((os.path.basename(p),) + documented(body))
        cls.ports = probe_ports(sorted({box for _, box, _, _ in cls.refs}))

    def test_every_class_has_a_reference(self):
        boxes = {box.split()[0] for _, box, _, _ in self.refs}
        self.assertEqual(sorted(set(CLASSES) - boxes), [])

    def test_references_list_every_inlet_and_outlet(self):
        for patch, box, counts, problems in self.refs:
            with self.subTest(patch=patch, box=box):
                self.assertEqual(problems, [])
                inlets, outlets = self.ports[box]
                self.assertEqual((counts.get("inlets"), counts.get("outlets")), (inlets, outlets),
                                 "documented (inlets, outlets) differ from the object's in the host")

    def test_the_check_finds_a_missing_inlet(self):
        # Peak's reference with its 2nd inlet taken out (the canvas and the
        # comments under it), and with no ARGUMENTS section
        with open(os.path.join(TESSEL_DIR, "Peak-help.pd")) as f:
            body = references(f.read())[0]
        second = next(i for i, a in enumerate(body) if a[4:5] == ["cnv"] and a[10] == "2nd:")
        broken = body[:second] + body[second + 3:]
        _, counts, problems = documented(broken)
        self.assertEqual(counts["inlets"], 1)
        self.assertNotEqual(counts["inlets"], self.ports["Peak"][0])
        no_args = [a for a in body if not (a[4:5] == ["cnv"] and a[10] == "ARGUMENTS:")]
        self.assertIn("no ARGUMENTS section", documented(no_args)[2])
        # an entry without anything listed under it
        bare = [a for a in body if not (a[:2] == ["#X", "text"] and a[3] == "134")]
        self.assertIn("INLETS 2nd:: nothing listed", documented(bare)[2])


if __name__ == "__main__":
    unittest.main()
