"""`cmake --install` into a given prefix gives a tessel/ folder that works
from the host's search path, through [declare -path tessel] and with the
tessel/ prefix; without a prefix the folder goes to the host's user extra
folder."""
import os
import subprocess
import tempfile
import unittest

from bench import EXT, LAUNCHER, WINDOWS, build, run, run_patch


def declare(text, path):
    # the host applies a patch's declarations from the '#X declare' line it saves with it
    return text.replace("\n", "\n#X declare -path %s;\n" % path, 1)


class InstallTest(unittest.TestCase):
    def test_default_prefix_is_the_user_extra_folder(self):
        # a fresh configure, with a home folder of its own
        with tempfile.TemporaryDirectory() as home:
            b = os.path.join(home, "b")
            env = dict(os.environ, HOME=home)
            subprocess.run([os.environ.get("CMAKE_COMMAND", "cmake"), "-S", os.environ["TESSEL_SOURCE_DIR"], "-B", b,
                            "-DBUILD_TESTING=OFF"], check=True, capture_output=True, env=env)
            with open(os.path.join(b, "CMakeCache.txt")) as f:
                cache = f.read()
            self.assertIn("CMAKE_INSTALL_PREFIX:PATH=%s/.local/lib/pd/extra\n" % home, cache)

    def test_install_into_prefix_and_load(self):
        with tempfile.TemporaryDirectory() as prefix:
            subprocess.run([os.environ.get("CMAKE_COMMAND", "cmake"), "--install", os.environ["TESSEL_BUILD_DIR"],
                            "--prefix", prefix], check=True, capture_output=True)
            folder = os.path.join(prefix, "tessel")
            for f in ("sgn~" + EXT, "z~" + EXT, "Volley" + EXT, "volley" + EXT, "sigmathops-help.pd",
                      "Volley-help.pd", "tessel-meta.pd", "README.md", "LICENSE"):
                self.assertTrue(os.path.exists(os.path.join(folder, f)), f)

            # a patch beside tessel/ that declares the folder: [z~ 3] from there
            text = declare(build("""
                f: feed~ 1 2 3 4 5
                z: z~ 3
                f -> z ~> out
            """, blocks=1), "tessel")
            patch = os.path.join(prefix, "user.pd")
            with open(patch, "w") as fh:
                fh.write(text)
            r = run_patch(patch, path_dirs=[], patch_text=text)
            self.assertEqual(r["out"][0].split()[:6], ["0", "0", "0", "1", "2", "3"])

            # [tessel/volley] as the first box, with only the prefix on the path
            text = build("""
                v: tessel/volley 2
                v:2 => index
                v:1 => done
                @0 v bang
            """, blocks=1)
            with open(patch, "w") as fh:
                fh.write(text)
            r = run_patch(patch, path_dirs=[prefix], patch_text=text)
            self.assertEqual(r.seq("index", "done"), ["index: 1", "index: 2", "done: bang"])


@unittest.skipUnless(WINDOWS, "only a Windows host keeps a start-up flag (in the registry)")
class WindowsStartTest(unittest.TestCase):
    def set_flag(self, value):
        subprocess.run(LAUNCHER + ["reg", "add", r"HKCU\Software\Pure-Data", "/v", "loading", "/d", value, "/f"],
                       check=True, capture_output=True, timeout=60)

    def test_a_start_taken_for_a_crash_still_loads_the_library(self):
        # the flag as another host's start leaves it while that host loads
        self.set_flag("yes")
        try:
            r = run("""
                f: feed~ 1 -2 3
                s: sgn~
                v: Volley 1
                f -> s ~> out
                v:1 => done
                @0 v bang
            """)
        finally:
            self.set_flag("no")
        self.assertEqual(r["out"][0].split()[:3], ["1", "-1", "1"])
        self.assertEqual(r["done"], ["bang"])
        self.assertFalse([l for l in r.console if "crashed" in l or "preferences" in l], r.console)


if __name__ == "__main__":
    unittest.main()
