"""Every built module: named after its class, exports only setup entries, and
needs nothing at run time but the host, libc and libm: the target's own host
and C library (of the target's root folder for a cross build), read with the
target's own binary tools."""
import glob
import os
import re
import shutil
import subprocess
import unittest

from bench import EXT, PD, TARGET, TESSEL_DIR

ALLOWED_LIBS = {"libc.so.6", "libm.so.6"}
TOOLS = os.environ.get("TESSEL_TOOL_PREFIX", "")     # e.g. aarch64-linux-gnu-
SYSROOT = os.environ.get("TESSEL_SYSROOT", "")        # the target's root folder, or "" for this machine
TRIPLET = TOOLS[:-1] if TOOLS else "x86_64-linux-gnu"


def dynsyms(path, flag):
    out = subprocess.run([TOOLS + "nm", "-D", flag, path], capture_output=True, text=True, check=True).stdout
    return {line.split()[-1].split("@")[0] for line in out.splitlines() if line.strip()}


def elf_machine(path):
    out = subprocess.run([TOOLS + "readelf", "-h", path], capture_output=True, text=True, check=True).stdout
    return re.search(r"Machine:\s+(.+)", out).group(1).strip()


def host_binary():
    """The host's executable (the binary behind a launcher script or link)."""
    path = os.path.realpath(shutil.which(PD) or PD)
    with open(path, "rb") as f:
        if f.read(4) == b"\x7fELF":
            return path
    return os.path.join(SYSROOT or "/", "usr/lib/puredata/bin/pd")


def c_library():
    return [os.path.join(SYSROOT or "/", "lib", TRIPLET, lib) for lib in sorted(ALLOWED_LIBS)]


WINDOWS = TARGET.startswith("windows-")
# A Windows module may import the host and DLLs every Windows has: the C
# runtime (msvcrt) and KERNEL32; never a compiler runtime DLL (libstdc++,
# libgcc_s, libwinpthread), which a user's machine does not have.
WINDOWS_DLLS = {"pd.dll", "msvcrt.dll", "kernel32.dll"}


def pe_tables(path):
    """(imported DLLs, exported names) of a Windows module, read with the
    target's objdump."""
    out = subprocess.run([TOOLS + "objdump", "-p", path], capture_output=True, text=True, check=True).stdout
    dlls = {d.lower() for d in re.findall(r"^\tDLL Name: (\S+)", out, re.M)}
    table = re.search(r"\[Ordinal/Name Pointer\] Table\n((?:\t\[ *\d+\] \S+\n)*)", out)
    exports = set(re.findall(r"\] (\S+)", table.group(1))) if table else set()
    return dlls, exports


@unittest.skipUnless(WINDOWS, "Windows modules only")
class WindowsModuleTest(unittest.TestCase):
    modules = sorted(glob.glob(os.path.join(TESSEL_DIR, "*" + EXT)))

    def test_imports_and_exports(self):
        self.assertTrue(self.modules)
        for m in self.modules:
            with self.subTest(module=os.path.basename(m)):
                dlls, exports = pe_tables(m)
                self.assertIn("pd.dll", dlls)
                self.assertLessEqual(dlls, WINDOWS_DLLS)
                base = os.path.basename(m)[:-len(EXT)].replace("~", "_tilde")
                self.assertIn(base + "_setup", exports)
                self.assertTrue(all(s.endswith("_setup") for s in exports), exports)


@unittest.skipIf(WINDOWS, "ELF modules only (the Windows modules' tables are read above)")
class ModuleTest(unittest.TestCase):
    modules = sorted(glob.glob(os.path.join(TESSEL_DIR, "*" + EXT)))

    def test_modules_exist(self):
        names = {os.path.basename(m)[:-len(EXT)] for m in self.modules}
        self.assertTrue({"sgn~", "rectify~"} <= names, names)

    @unittest.skipIf(os.environ.get("TESSEL_SANITIZE"), "sanitizer runtimes are linked in this build")
    @unittest.skipIf(os.environ.get("TESSEL_COVERAGE"), "gcov's counters are linked into this build")
    def test_needs_only_host_libc_libm(self):
        host = host_binary()
        available = dynsyms(host, "--defined-only")
        for lib in c_library():
            self.assertTrue(os.path.exists(lib), lib)
            available |= dynsyms(lib, "--defined-only")
        # the symbols are the target's: host, C library and modules are of one machine
        machine = elf_machine(host)
        self.assertEqual({elf_machine(lib) for lib in c_library()}, {machine})
        weak_ok = {"__gmon_start__", "_ITM_deregisterTMCloneTable", "_ITM_registerTMCloneTable",
                   "__cxa_finalize"}
        for m in self.modules:
            with self.subTest(module=os.path.basename(m)):
                self.assertEqual(elf_machine(m), machine)
                dyn = subprocess.run([TOOLS + "readelf", "-d", m], capture_output=True, text=True, check=True).stdout
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
