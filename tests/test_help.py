"""Help patches: every class has one beside its module, and each opens in the
host without errors."""
import glob
import os
import unittest

from bench import TESSEL_DIR, run_patch

# classes that share one help patch
SHARED_HELP = {"sgn~": "sigmathops", "rectify~": "sigmathops"}
ALIASES = {"volley", "peak", "trough"}


class HelpTest(unittest.TestCase):
    def test_every_class_has_a_help_patch(self):
        for m in sorted(glob.glob(os.path.join(TESSEL_DIR, "*.pd_linux"))):
            name = os.path.basename(m)[:-len(".pd_linux")]
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


if __name__ == "__main__":
    unittest.main()
