"""No leak and no invalid access in our modules under valgrind, for every
built class (create, DSP, block-size changes, messages, delete, re-create)."""
import os
import shutil
import unittest

import bench
import fuzz
import leaks


@unittest.skipIf(os.environ.get("TESSEL_SANITIZE"), "valgrind does not run beside the sanitizer runtime")
@unittest.skipIf(os.environ.get("PD_LAUNCHER"), "valgrind cannot follow the host through its launcher "
                 "(an emulator or wine); the leak check runs on the native hosts")
@unittest.skipUnless(shutil.which("valgrind"), "valgrind is not installed")
class LeakTest(unittest.TestCase):
    def test_every_class(self):
        folder = bench.TESSEL_DIR
        classes = fuzz.classes_in(folder)
        modules = leaks.patterns(folder)
        for cls in classes:
            with self.subTest(cls=cls):
                self.assertEqual(leaks.check(cls, 1, folder, bench.BENCH_LIB, modules), [])


if __name__ == "__main__":
    unittest.main()
