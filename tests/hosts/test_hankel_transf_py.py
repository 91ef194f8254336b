"""Host test of examples/python/hankel_transf.py.

test_hankel_transf_py.py --wrapper-dir DIR --lib PATH [--fast-lib PATH] [--no-numpy]

--no-numpy hides numpy before the wrapper is imported, so the plain-list path
is the one exercised. Without that flag numpy is required (exit 77 if absent).
"""
import argparse
import math
import sys
import unittest

parser = argparse.ArgumentParser()
parser.add_argument("--wrapper-dir", required=True)
parser.add_argument("--lib", required=True)
parser.add_argument("--fast-lib", default="")
parser.add_argument("--no-numpy", action="store_true")
opts, rest = parser.parse_known_args()

if opts.no_numpy:
    sys.modules["numpy"] = None  # makes "import numpy" raise ImportError
else:
    try:
        import numpy as np
    except ImportError:
        print("numpy not importable: numpy path skipped")
        sys.exit(77)

sys.path.insert(0, opts.wrapper_dir)
import hankel_transf  # noqa: E402

USE_NUMPY = not opts.no_numpy
SQRT2 = 1.4142135623730951


def as_input(values):
    return np.array(values, dtype=np.float64) if USE_NUMPY else list(values)


def kernel_sum(d):
    """Sum of f over the call's grid: |ht| never exceeds it."""
    s = [v / SQRT2 for v in d]
    max_x = (1 / (min(s) + min(s))) * 1.5
    t = (1 / (max(s) + max(s))) * 0.6666666666666666
    nseg = int(math.ceil((max_x + max_x) / t)) + 1
    x2 = [(-max_x + i * ((max_x + max_x) / nseg)) ** 2 for i in range(nseg + 1)]
    return sum((1 + (a + b) * 39.47841760435743) ** -0.75 for a in x2 for b in x2)


class Wrapper(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.ht = hankel_transf.HankelTransf(lib=opts.lib, fast_lib=opts.fast_lib or None)

    def assertWorked(self, got, want):
        # the worked values carry ten significant digits
        self.assertEqual(len(got), len(want))
        for g, w in zip(got, want):
            self.assertLessEqual(abs(g - w), 5e-10 * abs(w), (list(got), want))

    def test_mode(self):
        self.assertEqual(hankel_transf.HAVE_NUMPY, USE_NUMPY)

    def test_worked_values(self):
        self.assertEqual(self.ht.eval_f(0.0, 0.0), 1.0)
        self.assertWorked([self.ht.eval_f(3.0, 4.0)], [0.005674731710])
        self.assertWorked(self.ht.transform(as_input([1.0])), [0.8376631361])
        self.assertWorked(self.ht.transform(as_input([1.0, 2.0])), [1.896646434, 0.3717551400])
        self.assertWorked(self.ht.transform(as_input([2.0, 1.0])), [0.3717551400, 1.896646434])
        self.assertWorked(self.ht.transform(as_input([SQRT2])), [0.7434014215])
        # integers and tuples are converted, not rejected
        self.assertWorked(self.ht.transform((1, 2)), [1.896646434, 0.3717551400])

    def test_result_type_and_input_untouched(self):
        d = as_input([2.0, 1.0, 3.0])
        r = self.ht.transform(d)
        self.assertIsNot(r, d)
        if USE_NUMPY:
            self.assertIsInstance(r, np.ndarray)
            self.assertEqual((r.dtype, r.shape), (np.float64, (3,)))
            self.assertEqual(d.tolist(), [2.0, 1.0, 3.0])
        else:
            self.assertIsInstance(r, list)
            self.assertTrue(all(isinstance(v, float) for v in r))
            self.assertEqual(d, [2.0, 1.0, 3.0])

    def test_in_place(self):
        want = self.ht.transform(as_input([1.0, 2.0, 0.5]))
        d = as_input([1.0, 2.0, 0.5])
        r = self.ht.transform(d, out=d)
        self.assertIs(r, d)
        self.assertEqual(list(d), list(want))
        if USE_NUMPY:
            # a separate output array, and a strided input that must be copied
            out = np.full(3, 7.0)
            self.assertIs(self.ht.transform([1.0, 2.0, 0.5], out=out), out)
            self.assertEqual(out.tolist(), list(want))
            strided = np.array([1.0, -5.0, 2.0, -5.0, 0.5])[::2]
            self.assertEqual(self.ht.transform(strided).tolist(), list(want))

    def test_bad_distances_give_nan(self):
        for bad in ([1.0, -1.0], [1.0, 0.0], [-0.0, 1.0], [1.0, math.nan], [math.inf, 1.0]):
            for method in self.methods():
                r = self.ht.transform(as_input(bad), method=method)
                self.assertEqual(len(r), 2)
                self.assertTrue(all(math.isnan(v) for v in r), (method, bad, list(r)))
        self.assertEqual(len(self.ht.transform(as_input([]))), 0)

    def test_wrapper_rejects(self):
        with self.assertRaises(ValueError):
            self.ht.transform(as_input([1.0]), method="slow")
        with self.assertRaises((TypeError, ValueError)):
            self.ht.transform(["one"])
        with self.assertRaises(ValueError):
            self.ht.transform(as_input([1.0, 2.0]), out=as_input([0.0]))
        if USE_NUMPY:
            with self.assertRaises(ValueError):
                self.ht.transform(np.ones((2, 2)))
            with self.assertRaises(ValueError):
                self.ht.transform([1.0, 2.0], out=np.zeros(2, dtype=np.float32))

    def methods(self):
        return ["exact", "fast"] if opts.fast_lib else ["exact"]

    @unittest.skipUnless(opts.fast_lib, "no fast library given")
    def test_fast_matches_exact(self):
        for d in ([1.0], [1.0, 2.0], [0.3, 7.9, 1.0, 2.5, 2.5], [5.0, 0.21, 0.9, 3.3, 12.0]):
            exact = self.ht.transform(as_input(d))
            fast = self.ht.transform(as_input(d), method="fast")
            err = max(abs(a - b) for a, b in zip(exact, fast)) / kernel_sum(d)
            self.assertLessEqual(err, 1e-13, d)
        d = as_input([1.0, 2.0])
        self.ht.transform(d, method="fast", out=d)
        self.assertWorked(d, [1.896646434, 0.3717551400])


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
