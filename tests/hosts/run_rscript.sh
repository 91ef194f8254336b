#!/bin/sh
# run_rscript.sh <Rscript found at configure time, or empty> <script> [args...]
# Exits 77 (the test's SKIP_RETURN_CODE) only when no Rscript exists at all.
rscript=$1
shift
if [ -z "$rscript" ] || [ ! -x "$rscript" ]; then
    rscript=$(command -v Rscript 2>/dev/null) || {
        echo "Rscript not found: R host test skipped"
        exit 77
    }
fi
exec "$rscript" --vanilla "$@"
