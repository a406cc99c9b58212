"""A short fixed-seed fuzz campaign over every built class (the long one is
`python3 tests/fuzz.py --build build-asan --seeds 0-199`)."""
import unittest

import bench
import fuzz


class FuzzTest(unittest.TestCase):
    def test_short_campaign(self):
        for cls in fuzz.classes_in(bench.TESSEL_DIR):
            for seed in (1, 2):
                with self.subTest(cls=cls, seed=seed):
                    problem = fuzz.run_one(cls, seed, messages=400)
                    self.assertIsNone(problem, "replay: python3 tests/fuzz.py --classes '%s' --seeds %d\n%s"
                                      % (cls, seed, problem))


if __name__ == "__main__":
    unittest.main()
