#!/usr/bin/env bash
# Behaviour of the command-line tool as a user meets it.
# usage: tool_test.sh path/to/hankel-transf [fast]
set -u
tool=$1
have_fast=${2:-}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# within half a unit of the tenth significant digit of the worked value
near10() {
    awk -v g="$1" -v w="$2" 'BEGIN { d = g - w; if (d < 0) d = -d; a = w < 0 ? -w : w;
        u = 10 ^ (int(log(a) / log(10) + (a < 1 ? -1 : 0)) - 9); exit !(d <= 0.5 * u * (1 + 1e-6)) }'
}

# default set: 16 lines, distances 0.25 .. 4 in order, all finite
"$tool" >"$tmp/out" 2>"$tmp/err" || fail "default run exited $?"
[ "$(wc -l <"$tmp/out")" -eq 16 ] || fail "default run printed $(wc -l <"$tmp/out") lines"
[ "$(cut -f1 "$tmp/out" | head -1)" = "0.25" ] || fail "default set does not start at 0.25"
[ "$(cut -f1 "$tmp/out" | tail -1)" = "4" ] || fail "default set does not end at 4"
grep -qiE 'nan|inf' "$tmp/out" && fail "default run printed a non-finite value"

# worked values, input order, 17 significant digits, tab separated
"$tool" 2 1 >"$tmp/out" || fail "'2 1' exited $?"
IFS=$'\t' read -r d1 h1 < <(sed -n 1p "$tmp/out")
IFS=$'\t' read -r d2 h2 < <(sed -n 2p "$tmp/out")
[ "$d1" = 2 ] && [ "$d2" = 1 ] || fail "output order: got '$d1' '$d2'"
near10 "$h1" 0.3717551400 || fail "ht(2 | {2, 1}) = $h1"
near10 "$h2" 1.896646434 || fail "ht(1 | {2, 1}) = $h2"
digits=$(printf '%s' "$h2" | tr -d '.-' | sed 's/e.*//; s/^0*//')
[ "${#digits}" -ge 16 ] || fail "ht printed with too few digits: $h2"

# standard input gives the same bits as arguments, and --grid goes to stderr
printf '2\n  1\t\n' | "$tool" --grid - >"$tmp/stdin_out" 2>"$tmp/err" || fail "stdin run exited $?"
cmp -s "$tmp/out" "$tmp/stdin_out" || fail "stdin and arguments differ"
grep -q '^N = 12$' "$tmp/err" || fail "--grid did not report N = 12 for {1, 2}: $(cat "$tmp/err")"
grep -q 'spacing = 0.19284730395996752' "$tmp/err" || fail "--grid spacing: $(cat "$tmp/err")"

# refused input: clear message naming the token, non-zero exit, empty stdout
for bad in abc 1.5x 0 -0 -3 nan inf 1e999 ''; do
    "$tool" 1 "$bad" 2 >"$tmp/out" 2>"$tmp/err"
    rc=$?
    [ $rc -ne 0 ] || fail "'$bad' accepted"
    [ -s "$tmp/out" ] && fail "'$bad' produced output"
    grep -qF "'$bad'" "$tmp/err" || fail "message for '$bad' does not name it: $(cat "$tmp/err")"
done
echo "1 2 x3" | "$tool" - >"$tmp/out" 2>"$tmp/err" && fail "bad stdin token accepted"
grep -q "'x3'" "$tmp/err" || fail "stdin message does not name the token"
[ -s "$tmp/out" ] && fail "bad stdin produced output"
"$tool" 1 1e9 >"$tmp/out" 2>"$tmp/err" && fail "unsizable grid accepted"
grep -q 'cannot be sized' "$tmp/err" || fail "unsizable grid message: $(cat "$tmp/err")"
"$tool" --method slow 1 >/dev/null 2>&1 && fail "unknown method accepted"
"$tool" --bogus 1 >/dev/null 2>&1 && fail "unknown option accepted"
"$tool" --help >"$tmp/out" || fail "--help exited $?"
grep -q -- '--method' "$tmp/out" && grep -q -- '--grid' "$tmp/out" || fail "--help is incomplete"

# a run expected to take longer than --warn-after is announced, points to the
# fast method, and reports one progress line per distance; short runs stay quiet
"$tool" --warn-after 0 1 2 3 >"$tmp/out" 2>"$tmp/err" || fail "--warn-after 0 exited $?"
grep -q 'should take about' "$tmp/err" || fail "no time estimate: $(cat "$tmp/err")"
grep -q -- '--method fast' "$tmp/err" || fail "estimate does not point to --method fast"
[ "$(grep -c 'distances done' "$tmp/err")" -eq 3 ] || fail "progress: $(cat "$tmp/err")"
"$tool" 1 2 3 >"$tmp/out2" 2>"$tmp/err"
cmp -s "$tmp/out" "$tmp/out2" || fail "progress changed the results"
[ -s "$tmp/err" ] && fail "a short run wrote to stderr: $(cat "$tmp/err")"

# a table no machine has (1.6 TB) is reported, not aborted on
ASAN_OPTIONS=allocator_may_return_null=1 "$tool" --warn-after 1e9 1 1e5 >"$tmp/out" 2>"$tmp/err"
rc=$?
[ $rc -eq 2 ] || fail "impossible table: exit $rc, $(cat "$tmp/err")"
grep -q 'could not allocate the N x N table' "$tmp/err" || fail "impossible table message: $(cat "$tmp/err")"
[ -s "$tmp/out" ] && fail "impossible table produced output"

if [ "$have_fast" = fast ]; then
    "$tool" --method fast 2 1 >"$tmp/fast" || fail "fast method exited $?"
    IFS=$'\t' read -r _ f1 < <(sed -n 1p "$tmp/fast")
    near10 "$f1" 0.3717551400 || fail "fast ht(2 | {2, 1}) = $f1"
fi

if [ $failures -eq 0 ]; then echo "tool: all checks passed"; else echo "tool: $failures failure(s)"; fi
[ $failures -eq 0 ]
