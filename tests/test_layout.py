"""The layout check in the host's own GUI (tests/gui/layout.py): every help
patch, examples/play.pd and the demo with its parts open under Xvfb with
every subpatch ([pd reference]) shown, and nothing overlaps, runs past its
window, is a broken box or is drawn with other words than the file holds.
The check itself is shown to fail on tests/gui/broken-layout.pd.

All patches are opened in one GUI session (setUpClass)."""
import glob
import os
import sys
import unittest

from bench import TESSEL_DIR

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "gui"))
import layout  # noqa: E402

SOURCE = os.environ.get("TESSEL_SOURCE_DIR", os.path.join(HERE, ".."))
EXAMPLES = os.path.join(SOURCE, "examples")
BROKEN = os.path.join(HERE, "gui", "broken-layout.pd")


def patches_to_check():
    helps = sorted(glob.glob(os.path.join(TESSEL_DIR, "*-help.pd")))
    examples = sorted(glob.glob(os.path.join(EXAMPLES, "*.pd")))
    return helps, examples


class LayoutTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.skip = layout.unavailable()
        if cls.skip:
            return
        helps, examples = patches_to_check()
        cls.helps, cls.examples = helps, examples
        result, cls.console = layout.run([BROKEN] + helps + examples, path_dirs=[TESSEL_DIR])
        cls.result = {p.path: p for p in result}

    def setUp(self):
        if self.skip:
            self.skipTest("no GUI layout check: " + self.skip)

    def problems(self, path):
        return ["%s: %s" % (kind, desc) for kind, desc in layout.check(self.result[path])]

    def test_the_check_fails_on_a_broken_patch(self):
        kinds = {kind for kind, _ in layout.check(self.result[BROKEN])}
        self.assertEqual(kinds, {"overlap", "outside", "broken", "rewritten", "semicolon"})
        descs = self.problems(BROKEN)
        self.assertTrue(any("hello" in d and "a comment drawn over" in d for d in descs), descs)
        self.assertTrue(any("no-such-class" in d for d in descs), descs)
        self.assertTrue(any("16777216" in d for d in descs), descs)

    def test_every_help_patch_is_drawn_cleanly(self):
        self.assertGreaterEqual(len(self.helps), 43)
        for p in self.helps:
            with self.subTest(patch=os.path.basename(p)):
                self.assertEqual(self.problems(p), [])
                # the patch and its [pd reference] window at least
                self.assertGreaterEqual(len(self.result[p].windows), 2)

    def test_examples_and_demo_are_drawn_cleanly(self):
        names = [os.path.basename(p) for p in self.examples]
        self.assertIn("play.pd", names)
        self.assertIn("demo.pd", names)
        for p in self.examples:
            with self.subTest(patch=os.path.basename(p)):
                self.assertEqual(self.problems(p), [])


if __name__ == "__main__":
    unittest.main()
