"""Help patches: every class has one beside its module, each shows its class
and opens in the host without errors, and the help browser finds it from
every class and alias name."""
import glob
import os
import re
import unittest

from bench import EXT, TESSEL_DIR, run, run_patch

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


if __name__ == "__main__":
    unittest.main()
