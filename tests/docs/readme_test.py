"""The README's code blocks, run as a user pastes them.

readme_test.py LANG README [options]

Every fenced block right after a line `<!-- readme-test: LANG -->` is run on its
own and must succeed and print what its comments promise (the checks below):

  c       compiled with -Wall -Wextra -Werror against the build tree
          (--build DIR, --include DIR) and run
  r       run by Rscript with R_LIBS at the library the R package test
          installed into (--r-lib DIR)
  python  run by the virtual environment's interpreter the Python package test
          made (--python EXE), the libraries found by soname in --libdir

Exit status 77 (skip) when the installed package a block needs is not there.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

SKIP = 77


def blocks(readme, lang):
    text = open(readme, encoding="utf-8").read()
    pattern = r"<!-- readme-test: %s -->\n```%s\n(.*?)```" % (lang, lang)
    found = re.findall(pattern, text, flags=re.S)
    if not found:
        sys.exit("no `%s` block marked for testing in %s" % (lang, readme))
    return found


def run(cmd, **kw):
    p = subprocess.run(cmd, capture_output=True, text=True, **kw)
    sys.stdout.write(p.stdout)
    sys.stdout.write(p.stderr)
    if p.returncode != 0:
        sys.exit("failed (%d): %s" % (p.returncode, " ".join(cmd)))
    return p.stdout + p.stderr


def expect(output, *wanted):
    for w in wanted:
        if w not in output:
            sys.exit("output lacks %r" % w)


def test_c(code, opts, work):
    src = os.path.join(work, "host.c")
    exe = os.path.join(work, "host")
    open(src, "w").write(code)
    run([opts.cc, "-std=c11", "-Wall", "-Wextra", "-Werror", "-I", opts.include, src,
         "-L", opts.build, "-lhankel_transf", "-lhankel_transf_fast",
         "-Wl,-rpath," + opts.build, "-o", exe])
    out = run([exe])
    lines = out.strip().splitlines()
    # the grid line, then one line per distance, input order, four columns
    expect(lines[0], "N = ")
    if [ln.split("\t")[0] for ln in lines[1:]] != ["0.5", "1", "2"]:
        sys.exit("unexpected rows: %r" % lines[1:])


def test_r(code, opts, work):
    if not opts.r_lib or not os.path.isdir(os.path.join(opts.r_lib, "hankeltransf")):
        print("the R package is not installed (its test was skipped): skipped")
        return SKIP
    script = os.path.join(work, "snippet.R")
    open(script, "w").write(code)
    env = dict(os.environ, R_LIBS=opts.r_lib)
    env.pop("LD_LIBRARY_PATH", None)
    out = run([opts.rscript, "--vanilla", script], env=env)
    if "hankel_transf(c(1, 2))" in code:
        expect(out, "1.8966464", "0.3717551", "d[2] is NA")
    return 0


def test_python(code, opts, work):
    if not opts.python or not os.path.exists(opts.python):
        print("no virtual environment with the package (its test was skipped): skipped")
        return SKIP
    script = os.path.join(work, "snippet.py")
    open(script, "w").write(code)
    env = {k: v for k, v in os.environ.items()
           if k != "PYTHONPATH" and not k.startswith("HANKEL_TRANSF_")}
    env["LD_LIBRARY_PATH"] = opts.libdir   # what ldconfig gives an installed copy
    out = run([opts.python, script], cwd=work, env=env)
    if "ht.transform([1, 2])" in code:
        expect(out, "1.89664643", "0.37175514", "N=12", "spacing=0.19284730395996752")
    return 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("lang", choices=("c", "r", "python"))
    ap.add_argument("readme")
    ap.add_argument("--build")
    ap.add_argument("--include")
    ap.add_argument("--cc", default="cc")
    ap.add_argument("--r-lib")
    ap.add_argument("--rscript", default="Rscript")
    ap.add_argument("--python")
    ap.add_argument("--libdir")
    opts = ap.parse_args()
    status = 0
    with tempfile.TemporaryDirectory() as work:
        for code in blocks(opts.readme, opts.lang):
            rc = {"c": test_c, "r": test_r, "python": test_python}[opts.lang](code, opts, work)
            status = status or (rc or 0)
    return status


if __name__ == "__main__":
    sys.exit(main())
