"""The Python package as a user gets it, for ctest.

package_test.py setup WORK --build DIR --source DIR --cmake CMAKE [--config CFG]
    installs the build tree into WORK/prefix, makes the virtual environment
    WORK/venv (--system-site-packages: the distribution's numpy, pytest,
    setuptools) and pip-installs a copy of the package source into it with no
    network and no build isolation. The source folder is never written to.
package_test.py env|soname WORK --libdir REL --version V
    runs the package's pytest suite from the venv, the libraries named by
    HANKEL_TRANSF_LIB / HANKEL_TRANSF_FAST_LIB (env) or found by soname
    through LD_LIBRARY_PATH (soname).

Exit status 77 (the tests' SKIP_RETURN_CODE) when a needed module is missing.
"""
import argparse
import importlib.util
import os
import shutil
import subprocess
import sys

SKIP = 77
NEEDED = ("venv", "ensurepip", "numpy", "pytest", "setuptools", "wheel")


def clean_env():
    return {k: v for k, v in os.environ.items()
            if k not in ("PYTHONPATH", "PYTHONHOME", "LD_LIBRARY_PATH")
            and not k.startswith(("HANKEL_TRANSF_", "PIP_"))}


def run(cmd, **kw):
    print("+", " ".join(cmd), flush=True)
    subprocess.run(cmd, check=True, **kw)


def setup(work, opts):
    missing = [m for m in NEEDED if importlib.util.find_spec(m) is None]
    if missing:
        print("not importable by %s: %s; Python package test skipped"
              % (sys.executable, ", ".join(missing)))
        return SKIP
    shutil.rmtree(work, ignore_errors=True)
    config = ["--config", opts.config] if opts.config else []
    run([opts.cmake, "--install", opts.build, "--prefix", os.path.join(work, "prefix")] + config,
        stdout=subprocess.DEVNULL)
    # pip builds in the folder it is given: give it a copy
    src = os.path.join(work, "src")
    shutil.copytree(opts.source, src, ignore=shutil.ignore_patterns(
        "build", "*.egg-info", "__pycache__", ".pytest_cache"))
    venv = os.path.join(work, "venv")
    env = clean_env()
    run([sys.executable, "-m", "venv", "--system-site-packages", venv], env=env)
    run([os.path.join(venv, "bin", "pip"), "install", "--no-index", "--no-build-isolation",
         "--no-cache-dir", "--disable-pip-version-check", "--quiet", src], env=env)
    return 0


def test(work, mode, opts):
    python = os.path.join(work, "venv", "bin", "python")
    if not os.path.exists(python):
        print("no virtual environment (its setup was skipped): test skipped")
        return SKIP
    libdir = os.path.join(work, "prefix", opts.libdir)
    env = clean_env()
    env.update(HT_TEST_LIBDIR=libdir, HT_TEST_VERSION=opts.version, PYTHONDONTWRITEBYTECODE="1")
    if mode == "env":
        env["HANKEL_TRANSF_LIB"] = os.path.join(libdir, "libhankel_transf.so")
        env["HANKEL_TRANSF_FAST_LIB"] = os.path.join(libdir, "libhankel_transf_fast.so")
    else:
        env["LD_LIBRARY_PATH"] = libdir
    # run from WORK so that the copied source is not on sys.path: the
    # installed package is the one imported
    return subprocess.run([python, "-m", "pytest", "-q", "-rs", "-p", "no:cacheprovider",
                           os.path.join(work, "src", "tests")], cwd=work, env=env).returncode


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("mode", choices=("setup", "env", "soname"))
    ap.add_argument("work")
    ap.add_argument("--build")
    ap.add_argument("--source")
    ap.add_argument("--cmake")
    ap.add_argument("--config", default="")
    ap.add_argument("--libdir")
    ap.add_argument("--version")
    opts = ap.parse_args()
    work = os.path.abspath(opts.work)
    return setup(work, opts) if opts.mode == "setup" else test(work, opts.mode, opts)


if __name__ == "__main__":
    sys.exit(main())
