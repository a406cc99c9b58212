"""Every built module: named after its class, exports only setup entries, and
needs nothing at run time but the host, libc and libm."""
import glob
import os
import re
import subprocess
import unittest

from bench import EXT, PD, TESSEL_DIR

ALLOWED_LIBS = {"libc.so.6", "libm.so.6"}


def dynsyms(path, flag):
    out = subprocess.run(["nm", "-D", flag, path], capture_output=True, text=True, check=True).stdout
    return {line.split()[-1].split("@")[0] for line in out.splitlines() if line.strip()}


def host_binary():
    path = os.path.realpath(subprocess.run(["which", PD], capture_output=True, text=True).stdout.strip() or PD)
    with open(path, "rb") as f:
        if f.read(4) == b"\x7fELF":
            return path
    return "/usr/lib/puredata/bin/pd"


class ModuleTest(unittest.TestCase):
    modules = sorted(glob.glob(os.path.join(TESSEL_DIR, "*" + EXT)))

    def test_modules_exist(self):
        names = {os.path.basename(m)[:-len(EXT)] for m in self.modules}
        self.assertTrue({"sgn~", "rectify~"} <= names, names)

    @unittest.skipIf(os.environ.get("TESSEL_SANITIZE"), "sanitizer runtimes are linked in this build")
    @unittest.skipIf(os.environ.get("TESSEL_COVERAGE"), "gcov's counters are linked into this build")
    def test_needs_only_host_libc_libm(self):
        available = dynsyms(host_binary(), "--defined-only")
        for lib in ("/lib/x86_64-linux-gnu/libc.so.6", "/lib/x86_64-linux-gnu/libm.so.6"):
            if os.path.exists(lib):
                available |= dynsyms(lib, "--defined-only")
        weak_ok = {"__gmon_start__", "_ITM_deregisterTMCloneTable", "_ITM_registerTMCloneTable",
                   "__cxa_finalize"}
        for m in self.modules:
            with self.subTest(module=os.path.basename(m)):
                dyn = subprocess.run(["readelf", "-d", m], capture_output=True, text=True, check=True).stdout
                needed = set(re.findall(r"\(NEEDED\)\s+Shared library: \[(.+?)\]", dyn))
                self.assertLessEqual(needed, ALLOWED_LIBS)
                missing = dynsyms(m, "--undefined-only") - available - weak_ok
                self.assertEqual(missing, set())

    @unittest.skipIf(os.environ.get("TESSEL_COVERAGE"), "gcov's counters are linked into this build")
    def test_exports_only_setup_entries(self):
        for m in self.modules:
            with self.subTest(module=os.path.basename(m)):
                exported = dynsyms(m, "--defined-only") - {"_init", "_fini"}
                self.assertTrue(exported)
                self.assertTrue(all(s.endswith("_setup") for s in exported), exported)
                base = os.path.basename(m)[:-len(EXT)].replace("~", "_tilde")
                self.assertIn(base + "_setup", exported)


if __name__ == "__main__":
    unittest.main()
