#!/usr/bin/env bash
# Installs, on Debian 12 as root, whatever of a package set is missing.
#   deps.sh build   compiler, CMake, GSL, FFTW3: enough to build the libraries and the tool
#   deps.sh test    all of build, plus GoogleTest, Google Benchmark, clang with its
#                   sanitizer and fuzzer runtimes, valgrind, R with testthat for the R
#                   package, Python with what pip needs to install the Python package
#                   into a venv offline, groff for the man page check
set -euo pipefail

build_pkgs=(cmake make g++ binutils libgsl-dev libfftw3-dev pkgconf)
test_pkgs=(libgtest-dev libbenchmark-dev clang libclang-rt-14-dev valgrind
           r-base-dev r-cran-testthat python3 python3-numpy python3-matplotlib python3-scipy
           python3-venv python3-pytest python3-setuptools python3-wheel groff-base)

case "${1:-build}" in
    build) want=("${build_pkgs[@]}") ;;
    test) want=("${build_pkgs[@]}" "${test_pkgs[@]}") ;;
    *) echo "usage: $0 build|test" >&2; exit 2 ;;
esac

missing=()
for p in "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
echo "installing: ${missing[*]}" >&2
if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages and not root: run as root, or: apt-get install ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
