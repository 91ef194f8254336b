#!/bin/sh
# run.sh install|testthat|check -- driven by ctest (see CMakeLists.txt here),
# which sets R, CMAKE, BUILD_DIR, CONFIG, PACKAGE_DIR, WORK_DIR, LIBDIR and
# BINDIR. Exits 77 (skip) when there is no R at all.
set -eu
mode=$1

if [ -z "${R:-}" ] || [ ! -x "$R" ]; then
    R=$(command -v R 2>/dev/null) || { echo "R not found: R package test skipped"; exit 77; }
fi

prefix=$WORK_DIR/prefix
lib=$WORK_DIR/lib
# Only the test prefix is searched, and nothing may come from LD_LIBRARY_PATH:
# the package must find its libraries through the run path configure wrote.
PKG_CONFIG_PATH=$prefix/$LIBDIR/pkgconfig
unset PKG_CONFIG_LIBDIR LD_LIBRARY_PATH
R_LIBS=$lib
HANKEL_TRANSF_TOOL=$prefix/$BINDIR/hankel-transf
NOT_CRAN=true
export PKG_CONFIG_PATH R_LIBS HANKEL_TRANSF_TOOL NOT_CRAN

case $mode in
install)
    rm -rf "$WORK_DIR"
    mkdir -p "$lib"
    "$CMAKE" --install "$BUILD_DIR" --prefix "$prefix" ${CONFIG:+--config "$CONFIG"} >/dev/null
    # R CMD build works on a copy, so the source tree stays clean
    cd "$WORK_DIR"
    "$R" CMD build --no-build-vignettes "$PACKAGE_DIR"
    # where pkg-config finds nothing, configure must stop and say what to set
    mkdir -p "$WORK_DIR/nowhere"
    if PKG_CONFIG_LIBDIR=$WORK_DIR/nowhere PKG_CONFIG_PATH= \
        "$R" CMD INSTALL --library="$lib" "$WORK_DIR"/hankeltransf_*.tar.gz >"$WORK_DIR/nowhere.log" 2>&1 ||
        ! grep -q "pkg-config cannot find hankel_transf hankel_transf_fast" "$WORK_DIR/nowhere.log" ||
        ! grep -q "PKG_CONFIG_PATH=PREFIX/lib/pkgconfig R CMD INSTALL" "$WORK_DIR/nowhere.log"; then
        echo "configure without the libraries did not fail with its message:"
        cat "$WORK_DIR/nowhere.log"
        exit 1
    fi
    "$R" CMD INSTALL --library="$lib" "$WORK_DIR"/hankeltransf_*.tar.gz
    ;;
testthat)
    cd "$WORK_DIR"
    "$R" --vanilla --quiet -e "testthat::test_dir('$PACKAGE_DIR/tests/testthat',
        package = 'hankeltransf', load_package = 'installed', stop_on_failure = TRUE)"
    ;;
check)
    rm -rf "$WORK_DIR/check"
    mkdir -p "$WORK_DIR/check"
    cd "$WORK_DIR/check"
    # R_LIBS would let check find the package installed above instead of its own
    unset R_LIBS
    "$R" CMD check --no-manual "$WORK_DIR"/hankeltransf_*.tar.gz
    status=$(sed -n 's/^Status: //p' hankeltransf.Rcheck/00check.log)
    case $status in
    *ERROR* | *WARNING*) echo "R CMD check: $status"; exit 1 ;;
    esac
    ;;
*)
    echo "usage: run.sh install|testthat|check" >&2
    exit 2
    ;;
esac
