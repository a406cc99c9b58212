"""The demo (examples/demo.pd), run in the host as `bash scripts/run demo`
runs it: it quits by itself, prints no error, and every line it prints is a
sentence that names a class of the library, what went in ("given ...") and
what came out; a handful of lines whose values are known are checked word
for word.

The demo is run once (setUpClass). It quits by its own rule: after 700 ms
of the patch's time, when those took less than half a second (a batch run).
A host started through a launcher (an emulator) may be slower than that; it
runs the demo inside a wrapper patch that quits after 1500 ms of the patch's
time instead."""
import os
import re
import subprocess
import tempfile
import unittest

import bench

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.environ.get("TESSEL_SOURCE_DIR", os.path.join(HERE, ".."))
EXAMPLES = os.path.join(SOURCE, "examples")
DEMO = os.path.join(EXAMPLES, "demo.pd")

# the parts of the demo, each prints under its own name
PARTS = {"signal", "analysis", "control", "text", "math", "midi"}


def library_classes():
    """Every class name of the library (from cmake/objects.txt)."""
    path = os.environ.get("TESSEL_OBJECTS", os.path.join(SOURCE, "cmake", "objects.txt"))
    with open(path, encoding="utf-8") as f:
        return {line.split("\t")[0] for line in f if line.strip() and not line.startswith("#")}


def run_demo():
    """(Result, how the demo was run)."""
    env = bench.host_env()
    if not bench.LAUNCHER:
        cmd = bench.patch_command(DEMO, path_dirs=[bench.TESSEL_DIR], libs=[])
        proc = bench.host_run(cmd, capture_output=True, timeout=120, env=env)
        how = "directly"
    else:
        with tempfile.TemporaryDirectory() as d:
            wrapper = os.path.join(d, "demo-wrapper.pd")
            with open(wrapper, "w") as f:
                f.write("#N canvas 0 0 300 200 12;\n#X obj 10 10 demo;\n#X obj 10 50 loadbang;\n"
                        "#X obj 10 80 delay 1500;\n#X msg 10 110 \\; pd quit;\n"
                        "#X connect 1 0 2 0;\n#X connect 2 0 3 0;\n")
            cmd = bench.patch_command(wrapper, path_dirs=[bench.TESSEL_DIR, EXAMPLES], libs=[])
            proc = bench.host_run(cmd, capture_output=True, timeout=600, env=env)
        how = "in a wrapper that quits after 1500 ms (launcher %s)" % " ".join(bench.LAUNCHER)
    return bench.Result(proc, proc.stdout.decode("utf-8", "replace"), bench.host_text(proc.stderr)), how


class DemoTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.result, cls.how = run_demo()
        banners = set(cls.result.banners())
        cls.lines = [l for l in cls.result.console if l not in banners and l.strip()]

    def lines_of(self, part):
        return [l[len(part) + 2:] for l in self.lines if l.startswith(part + ": ")]

    def test_quits_by_itself_without_errors(self):
        self.assertEqual(self.result.rc, 0, self.how + "\n" + self.result.stderr[-3000:])
        bad = [l for l in self.lines if "error" in l or "couldn't create" in l or "connection failed" in l
               or "bad arguments" in l or any(m in l for m in bench.SANITIZER_MARKS)]
        self.assertEqual(bad, [])
        # the one line of stdout goes to standard output, nothing else does
        self.assertEqual(self.result.stdout, "hello from tessel 1 2;" + bench.LINE_END)

    def test_every_line_is_a_sentence_with_input_and_result(self):
        classes = library_classes()
        self.assertGreater(len(self.lines), 60)
        seen = set()
        for line in self.lines:
            with self.subTest(line=line):
                m = re.match(r"^([a-z]+): (.+)$", line)
                self.assertTrue(m, "not a part's line")
                part, sentence = m.groups()
                self.assertIn(part, PARTS)
                seen.add(part)
                words = sentence.split()
                # the subject is the class the line is about
                self.assertIn(words[0], classes)
                # words, not a label: no name_joined_by_underscores or
                # words-joined-by-hyphens (a 14-bit or demo-here is a word)
                self.assertNotRegex(sentence, r"_|[a-z]+-[a-z]+-[a-z]+")
                self.assertNotIn("$", sentence)
                self.assertGreaterEqual(len(words), 5)
                # what went in, then what came out after it
                self.assertIn(" given ", sentence)
                self.assertGreaterEqual(len(sentence.split(" given ", 1)[1].split()), 3)
                self.assertNotRegex(sentence, r"[:\-]$", "the result is missing")
        self.assertEqual(seen, PARTS)

    def test_every_class_in_the_demo_is_explained(self):
        # every library class the demo's parts create is named in a line
        classes = library_classes()
        used = set()
        for name in os.listdir(EXAMPLES):
            if name.startswith("demo-") and name.endswith(".pd"):
                with open(os.path.join(EXAMPLES, name)) as f:
                    for m in re.finditer(r"^#X obj -?\d+ -?\d+ (\S+?)[ ;]", f.read(), re.M):
                        if m.group(1) in classes:
                            used.add(m.group(1))
        self.assertGreaterEqual(len(used), 35)
        words = {w for l in self.lines for w in l.split()}
        self.assertEqual(sorted(used - words), [])

    def test_lines_with_known_values(self):
        signal, control, midi = self.lines_of("signal"), self.lines_of("control"), self.lines_of("midi")
        self.assertIn("asin given 0.5 gives 0.523599 rad", self.lines_of("math"))
        self.assertIn("xy2ra given x 3 and y 4 gives the distance 5 and the angle 0.927295 rad",
                      self.lines_of("math"))
        self.assertIn("swap~ given the signal 0.5 swaps the bytes of the 16-bit sample 0x4000 to 0x0040"
                      " and gives 0.00195312", signal)
        self.assertIn("quantize~ given 8bit and the signal 0.3 gives 0.296875 - 38 steps of 1/128", signal)
        blocks = [l for l in signal if re.match(r"(dirac|z|retro|step)~ ", l)]
        self.assertEqual(blocks, [
            "dirac~ 3 given a bang gives an impulse at sample 3 of the next block:"
            " 0 0 0 1 0 0 0 0 0 0 0 0 0 0 0 0",
            "z~ 4 given that block delays the impulse by 4 samples to sample 7:"
            " 0 0 0 0 0 0 0 1 0 0 0 0 0 0 0 0",
            "retro~ given that block plays it backwards: the impulse comes out at sample 60"
            " and its last 8 samples are 0 0 0 0 1 0 0 0",
            "step~ 4 given 5 opens a window of 4 samples at sample 5: 0 0 0 0 0 1 1 1 1 0 0 0 0 0 0 0"])
        volley = [l for l in control if l.startswith("Volley")]
        self.assertEqual(volley, [
            "Volley 4 given a bang sends bang 1 of 4 from outlet 1",
            "Volley 4 given a bang sends bang 2 of 4 from outlet 1",
            "Volley 4 given pause from downstream during bang 2 of 4 stops after it - no done bang yet",
            "Volley 4 given resume 100 ms later sends bang 3 of 4 from outlet 1",
            "Volley 4 given resume 100 ms later sends bang 4 of 4 from outlet 1",
            "Volley 4 given resume 100 ms later sends the done bang from outlet 2 - all 4 bangs are out"])
        self.assertIn("Peak given 3 finds a new peak: outlet 3 sends 0 - outlet 2 sends 1 and outlet 1 sends 3",
                      control)
        self.assertIn("mean given the list 10 20 forgets the floats before and sends the count 2"
                      " from outlet 2 and the mean 15 from outlet 1", control)
        self.assertIn("bytesift given the bytes 62 248 80 sends the controller 62 with the value 80"
                      " on channel 1", midi)
        self.assertIn("hushnotes given a bang sends the bytes 145 67 0 for each note still held"
                      " - keyrecv reads a note off of pitch 67 velocity 0 on channel 2", midi)
        self.assertIn("wheelsend 3 given 12345 sends the bytes 226 57 96 and wheelrecv reads them back"
                      " as 12345 on channel 3", midi)


if __name__ == "__main__":
    unittest.main()
