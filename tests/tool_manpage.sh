#!/usr/bin/env bash
# The man page renders without warnings and documents exactly the options
# that --help lists.
# usage: tool_manpage.sh path/to/hankel-transf path/to/hankel-transf.1 path/to/groff
set -u
tool=$1
page=$2
groff=$3
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
options() { grep -oE -- '(^|[^A-Za-z0-9-])--?[a-z][a-z-]*' | sed 's/^[^-]*//' | sort -u; }

warnings=$("$groff" -man -Tutf8 -ww -z "$page" 2>&1) || fail "groff failed on $page"
[ -z "$warnings" ] || fail "groff warnings: $warnings"
text=$("$groff" -man -Tascii -P-cbou "$page" 2>/dev/null)
grep -q '^NAME' <<<"$text" && grep -q '^SYNOPSIS' <<<"$text" || fail "no NAME or SYNOPSIS section"
in_page=$(options <<<"$text")
in_help=$("$tool" --help | options)
[ -n "$in_help" ] || fail "no options found in --help"
[ "$in_page" = "$in_help" ] ||
    fail "options differ between the man page and --help: $(diff <(echo "$in_page") <(echo "$in_help") | grep '^[<>]' | tr '\n' ' ')"

if [ $failures -eq 0 ]; then echo "man page: all checks passed"; else echo "man page: $failures failure(s)"; fi
[ $failures -eq 0 ]
