"""The whole library: every declared class loads from a folder laid out as
installed (the build folder, and the .dek package unpacked into an empty
folder), posts the banner once where it belongs to the signal library, and
prints nothing else."""
import hashlib
import os
import tempfile
import unittest
import zipfile

from bench import EXT, TESSEL_DIR, build, run_patch

CLASSES = os.environ.get("TESSEL_CLASSES", "").split()
VERSION = os.environ.get("TESSEL_VERSION", "")
# the host's package-manager spelling of the target: Linux-amd64-32
ARCH = os.environ.get("TESSEL_TARGET", "linux-amd64-32").capitalize()
VESK = {"sgn~", "rectify~", "z~", "dirac~", "step~", "halfturn~", "retro~", "quantize~", "swap~", "pack~",
        "unpack~", "silence~", "blockmean~", "crosspitch~", "route~", "idlestep"}
ALIASES = ["volley", "peak", "trough"]


def load_all(folder, path_dirs):
    """Creates one object of every class and alias in a patch in `folder`."""
    boxes = ["c%d: %s" % (i, c) for i, c in enumerate(CLASSES + ALIASES)]
    boxes += ["p%d: tessel/%s" % (i, a) for i, a in enumerate(ALIASES)]
    text = build("\n".join(boxes), blocks=2)
    path = os.path.join(folder, "load-all.pd")
    with open(path, "w") as f:
        f.write(text)
    return run_patch(path, path_dirs=path_dirs, patch_text=text)


class PackageTest(unittest.TestCase):
    def check_load_all(self, r):
        lines = r.banners()
        banners = [l for l in lines if l.startswith("[")]
        names = [l.split("[", 1)[1].split("]", 1)[0] for l in banners]
        self.assertEqual(sorted(names), sorted(VESK))
        copyright_lines = [l for l in lines if l.startswith("\tcopyright")]
        self.assertEqual(len(copyright_lines), len(VESK))
        others = [l for l in r.console if l not in lines and l.strip()]
        self.assertEqual(others, [])

    def test_all_declared_classes_are_built(self):
        self.assertEqual(len(CLASSES), 44)
        missing = [c for c in CLASSES if not os.path.exists(os.path.join(TESSEL_DIR, c + EXT))]
        self.assertEqual(missing, [])

    def test_load_every_class_from_build_folder(self):
        parent = os.path.dirname(os.path.abspath(TESSEL_DIR))
        with tempfile.TemporaryDirectory() as d:
            self.check_load_all(load_all(d, [os.path.abspath(TESSEL_DIR), parent]))

    def test_package_names_what_it_holds(self):
        dek = os.environ.get("TESSEL_DEK")
        if not dek:
            # a sanitizer build links its runtimes into every module: it must
            # not leave a package that looks like a release
            build = os.environ["TESSEL_BUILD_DIR"]
            self.assertEqual([f for f in os.listdir(build) if f.endswith((".dek", ".dek.sha256", ".dek.txt"))], [])
            self.skipTest("no package in a sanitizer build (checked that none was written)")
        self.assertEqual(os.path.basename(dek), "tessel[v%s](%s).dek" % (VERSION, ARCH))
        with open(dek, "rb") as f:
            digest = hashlib.sha256(f.read()).hexdigest()
        with open(dek + ".sha256") as f:
            self.assertEqual(f.read().strip(), digest)  # the host's installer compares it whole
        with open(dek + ".txt") as f:
            rows = [line.rstrip("\n").split("\t") for line in f]
        self.assertEqual([r[0] for r in rows], CLASSES)
        self.assertTrue(all(len(r) == 2 and len(r[1]) > 10 for r in rows), rows)

    def test_combined_package_loads_this_targets_modules(self):
        dek = os.environ.get("TESSEL_COMBINED_DEK")
        if not dek:
            self.skipTest("the package of all targets is checked by `scripts/run all` once every "
                          "configuration has passed (TESSEL_COMBINED_DEK names it)")
        self.assertIn("(%s)" % ARCH, os.path.basename(dek))
        with tempfile.TemporaryDirectory() as d:
            with zipfile.ZipFile(dek) as z:
                z.extractall(d)
            folder = os.path.join(d, "tessel")
            for c in CLASSES:
                self.assertTrue(os.path.exists(os.path.join(folder, c + EXT)), c)
            for m in os.listdir(folder):
                os.chmod(os.path.join(folder, m), 0o755)
            self.check_load_all(load_all(d, [folder, d]))

    def test_package_unpacks_and_loads(self):
        dek = os.environ.get("TESSEL_DEK")
        if not dek:
            self.skipTest("no package in a sanitizer build")
        with tempfile.TemporaryDirectory() as d:
            with zipfile.ZipFile(dek) as z:
                names = z.namelist()
                self.assertTrue(all(n.startswith("tessel/") for n in names), names[:5])
                z.extractall(d)
            for m in os.listdir(os.path.join(d, "tessel")):
                os.chmod(os.path.join(d, "tessel", m), 0o755)
            for f in ("tessel-meta.pd", "README.md", "LICENSE", "sigmathops-help.pd"):
                self.assertIn("tessel/" + f, names)
            self.check_load_all(load_all(d, [os.path.join(d, "tessel"), d]))


if __name__ == "__main__":
    unittest.main()
