"""The per-sample loops of the stateless signal kernels are vectorised by the
compiler (checked with the compiler's own optimisation report)."""
import os
import re
import subprocess
import unittest

SRC = os.environ.get("TESSEL_SOURCE_DIR", os.path.join(os.path.dirname(__file__), ".."))

# source file -> lines (by a text they contain) whose loop must be vectorised
KERNELS = {
    "signal/sgn~.cpp": [],          # its loops live in vesk.h's map/map8
    "signal/rectify~.cpp": ["for (t_int i = 0; i < n; i++)"],
}
VESK_LOOPS = ["for (t_int i = 0; i < n; i++)", "for (; n > 0; n -= 8"]  # vesk::map, vesk::map8


def report(path):
    cmd = [os.environ.get("TESSEL_CXX", "g++"), "-std=c++20", "-O3", "-fno-exceptions", "-fno-rtti",
           "-fopt-info-vec-optimized", "-I", os.environ.get("PD_INCLUDE_DIR", "/usr/include/pd"),
           "-I", os.path.join(SRC, "common"), "-c", os.path.join(SRC, path), "-o", os.devnull]
    out = subprocess.run(cmd, capture_output=True, text=True, check=True).stderr
    return {(os.path.basename(f), int(l)) for f, l in re.findall(r"([^\s:]+):(\d+):\d+: optimized: loop vectorized", out)}


def line_of(path, text):
    with open(os.path.join(SRC, path)) as f:
        src = f.read()
    i = src.index(text)
    return src.count("\n", 0, i) + 1


class VectorisedTest(unittest.TestCase):
    def test_kernels_vectorised(self):
        for path, loops in KERNELS.items():
            with self.subTest(source=path):
                vec = report(path)
                for text in loops:
                    self.assertIn((os.path.basename(path), line_of(path, text)), vec, text)
                if path == "signal/sgn~.cpp":
                    for text in VESK_LOOPS:
                        self.assertIn(("vesk.h", line_of("signal/vesk.h", text)), vec, text)


if __name__ == "__main__":
    unittest.main()
