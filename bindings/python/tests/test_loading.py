"""How the libraries are found. Loading happens once per process, so each case
runs in a fresh interpreter."""
import os
import subprocess
import sys

import pytest

import hankel_transf

VARS = ("HANKEL_TRANSF_LIB", "HANKEL_TRANSF_FAST_LIB")


def run(code, **env):
    full = {k: v for k, v in os.environ.items() if k not in VARS}
    full.update(env)
    return subprocess.run([sys.executable, "-c", "import hankel_transf as h\n" + code],
                          env=full, capture_output=True, text=True)


def test_variable_names_the_only_file_tried(raw, tmp_path):
    missing = str(tmp_path / "nowhere.so")
    r = run("h.transform([1.0])", HANKEL_TRANSF_FAST_LIB=missing,
            LD_LIBRARY_PATH=os.path.dirname(raw.paths[1]))
    assert r.returncode != 0
    assert "OSError" in r.stderr and "HANKEL_TRANSF_FAST_LIB=" + missing in r.stderr
    r = run("h.eval_f(0, 0)", HANKEL_TRANSF_LIB=raw.paths[1])   # the fast library
    assert "does not export eval_f" in r.stderr


def test_variables_are_enough(raw):
    r = run("print(h.transform([1, 2])[0], h.grid([1, 2]).N)", HANKEL_TRANSF_LIB=raw.paths[0],
            HANKEL_TRANSF_FAST_LIB=raw.paths[1], LD_LIBRARY_PATH="")
    assert r.returncode == 0, r.stderr
    assert r.stdout.split() == [repr(raw.exact([1, 2])[0]), "12"]


def test_import_needs_no_library_and_failure_says_what_to_do():
    r = run("print(h.__version__); h.grid([1.0])", LD_LIBRARY_PATH="")
    assert r.stdout.strip() == hankel_transf.__version__
    if r.returncode == 0:
        pytest.skip("libhankel_transf_fast.so.1 is installed in a system directory")
    for hint in ("libhankel_transf_fast.so.1", "LD_LIBRARY_PATH", "ldconfig", "HANKEL_TRANSF_FAST_LIB"):
        assert hint in r.stderr


def test_installed_package_and_libraries(raw):
    """Under ctest: the package comes from the venv, the libraries from the
    test prefix, and the version is the project's."""
    libdir, version = os.environ.get("HT_TEST_LIBDIR"), os.environ.get("HT_TEST_VERSION")
    if not libdir:
        pytest.skip("not run by ctest")
    assert hankel_transf.__file__.startswith(sys.prefix + os.sep)
    assert sys.prefix != sys.base_prefix
    from importlib.metadata import version as dist_version
    assert hankel_transf.__version__ == version == dist_version("hankel_transf")
    for path in raw.paths:
        assert os.path.dirname(path) == os.path.realpath(libdir)
