"""`cmake --install` into a given prefix gives a tessel/ folder that works
from the host's search path and through [declare -path tessel]."""
import os
import subprocess
import tempfile
import unittest

from bench import build, run_patch


class InstallTest(unittest.TestCase):
    def test_install_into_prefix_and_load(self):
        with tempfile.TemporaryDirectory() as prefix:
            subprocess.run([os.environ.get("CMAKE_COMMAND", "cmake"), "--install", os.environ["TESSEL_BUILD_DIR"],
                            "--prefix", prefix], check=True, capture_output=True)
            folder = os.path.join(prefix, "tessel")
            for f in ("sgn~.pd_linux", "rectify~.pd_linux", "sigmathops-help.pd", "README.md", "LICENSE"):
                self.assertTrue(os.path.exists(os.path.join(folder, f)), f)
            # a patch beside tessel/ that declares the folder
            text = build("""
                d: declare -path tessel
                f: feed~ -2 0 3
                s: sgn~
                f -> s ~> out
            """, blocks=1)
            # the host applies a patch's declarations from the '#X declare' line it saves with it
            text = text.replace("\n", "\n#X declare -path tessel;\n", 1)
            patch = os.path.join(prefix, "user.pd")
            with open(patch, "w") as fh:
                fh.write(text)
            r = run_patch(patch, path_dirs=[], patch_text=text)
            self.assertEqual(r["out"][0].split()[:4], ["-1", "0", "1", "0"])
            # and with the installed folder itself on the search path
            r = run_patch(patch, path_dirs=[folder], patch_text=text)
            self.assertEqual(r["out"][0].split()[:4], ["-1", "0", "1", "0"])


if __name__ == "__main__":
    unittest.main()
