#!/usr/bin/env bash
# Behaviour of the command-line tool as a user meets it.
# usage: tool_test.sh path/to/hankel-transf [fast|-] [VERSION]
set -u
tool=$1
have_fast=${2:-}
version=${3:-}
tmp=$(mktemp -d)
bg_pids=()
cleanup() {
    for p in "${bg_pids[@]}"; do kill -KILL "$p" 2>/dev/null; done
    rm -rf "$tmp"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
col() { cut -f"$1" "$2" | tr '\n' ' ' | sed 's/ $//'; }

# within half a unit of the tenth significant digit of the worked value
near10() {
    awk -v g="$1" -v w="$2" 'BEGIN { d = g - w; if (d < 0) d = -d; a = w < 0 ? -w : w;
        u = 10 ^ (int(log(a) / log(10) + (a < 1 ? -1 : 0)) - 9); exit !(d <= 0.5 * u * (1 + 1e-6)) }'
}

# Waits (up to 120 s) until file $1 matches the extended regex $2.
wait_for() {
    local i
    for ((i = 0; i < 1200; i++)); do
        grep -qE "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

# --- default set, worked values, digits ------------------------------------
"$tool" >"$tmp/out" 2>"$tmp/err" || fail "default run exited $?"
[ "$(wc -l <"$tmp/out")" -eq 16 ] || fail "default run printed $(wc -l <"$tmp/out") lines"
[ "$(col 1 "$tmp/out")" = "0.25 0.5 0.75 1 1.25 1.5 1.75 2 2.25 2.5 2.75 3 3.25 3.5 3.75 4" ] ||
    fail "default set: $(col 1 "$tmp/out")"
grep -qiE 'nan|inf' "$tmp/out" && fail "default run printed a non-finite value"

"$tool" 2 1 >"$tmp/ref21" || fail "'2 1' exited $?"
IFS=$'\t' read -r d1 h1 < <(sed -n 1p "$tmp/ref21")
IFS=$'\t' read -r d2 h2 < <(sed -n 2p "$tmp/ref21")
[ "$d1" = 2 ] && [ "$d2" = 1 ] || fail "output order: got '$d1' '$d2'"
near10 "$h1" 0.3717551400 || fail "ht(2 | {2, 1}) = $h1"
near10 "$h2" 1.896646434 || fail "ht(1 | {2, 1}) = $h2"
digits=$(printf '%s' "$h2" | tr -d '.-' | sed 's/e.*//; s/^0*//')
[ "${#digits}" -ge 16 ] || fail "ht printed with too few digits: $h2"

# --- distances from standard input and files, each in its place -------------
printf '3\n' | "$tool" 1 - 2 >"$tmp/out" || fail "'1 - 2' exited $?"
[ "$(col 1 "$tmp/out")" = "1 3 2" ] || fail "'1 - 2' with 3 on stdin gave order $(col 1 "$tmp/out")"
"$tool" 1 3 2 >"$tmp/ref" && cmp -s "$tmp/out" "$tmp/ref" || fail "'1 - 2' differs from '1 3 2'"
printf '4\n5 6\n' >"$tmp/a"
printf '8' >"$tmp/b"   # no final newline
printf '7\n' | "$tool" 9 -f "$tmp/a" - --file="$tmp/b" 3 --file "$tmp/a" >"$tmp/out" ||
    fail "mixed sources exited $?"
[ "$(col 1 "$tmp/out")" = "9 4 5 6 7 8 3 4 5 6" ] || fail "mixed sources order: $(col 1 "$tmp/out")"
"$tool" 9 4 5 6 7 8 3 4 5 6 >"$tmp/ref" && cmp -s "$tmp/out" "$tmp/ref" ||
    fail "mixed sources differ from the same distances as arguments"
# the last token counts without a final newline, also alone and after CRLF lines
for input in '2\n1' '2 1' '2\r\n1\r\n' '\n\t2\n\n 1'; do
    printf "$input" | "$tool" - >"$tmp/out" 2>"$tmp/err" || fail "stdin '$input' exited $?"
    cmp -s "$tmp/out" "$tmp/ref21" || fail "stdin '$input' gave: $(cat "$tmp/out" "$tmp/err")"
done
# --grid goes to standard error
printf '2\n  1\t\n' | "$tool" --grid - >"$tmp/out" 2>"$tmp/err" || fail "stdin --grid exited $?"
cmp -s "$tmp/out" "$tmp/ref21" || fail "--grid changed standard output"
grep -q '^N = 12$' "$tmp/err" || fail "--grid did not report N = 12 for {1, 2}: $(cat "$tmp/err")"
grep -q 'spacing = 0.19284730395996752' "$tmp/err" || fail "--grid spacing: $(cat "$tmp/err")"

# --- distances echoed exactly as typed --------------------------------------
"$tool" 1.0 1e0 0x1p0 +1 1. 0.0010e3 3 >"$tmp/out" || fail "spellings of 1 exited $?"
[ "$(col 1 "$tmp/out")" = "1.0 1e0 0x1p0 +1 1. 0.0010e3 3" ] || fail "echo: $(col 1 "$tmp/out")"
[ "$(cut -f2 "$tmp/out" | head -6 | sort -u | wc -l)" -eq 1 ] ||
    fail "spellings of 1 gave different values: $(col 2 "$tmp/out")"
printf '1.0\n0x1p0' | "$tool" - 3 >"$tmp/out" || fail "stdin spellings exited $?"
[ "$(col 1 "$tmp/out")" = "1.0 0x1p0 3" ] || fail "stdin echo: $(col 1 "$tmp/out")"

# --- --scaled: the bare sum times the spacing squared ------------------------
# Both runs print the same grid; scaled must equal bare * h * h to within the
# two roundings of the products (a wrong factor, h or the target spacing in
# place of h^2, misses by far more).
scaled_check() {  # label, extra options...
    local label=$1
    shift
    "$tool" "$@" --grid 0.7 2 5 >"$tmp/bare" 2>"$tmp/grid" || fail "$label bare run exited $?"
    "$tool" "$@" --grid --scaled 0.7 2 5 >"$tmp/scaled" 2>/dev/null || fail "$label --scaled exited $?"
    h=$(sed -n 's/^spacing = //p' "$tmp/grid")
    [ -n "$h" ] || { fail "$label: no spacing in --grid"; return; }
    [ "$(col 1 "$tmp/scaled")" = "0.7 2 5" ] || fail "$label --scaled echo: $(col 1 "$tmp/scaled")"
    paste "$tmp/bare" "$tmp/scaled" | awk -v h="$h" -F'\t' '{
        want = $2 * h * h; got = $4; d = got - want; if (d < 0) d = -d;
        a = want < 0 ? -want : want;
        if (!(d <= 4.5e-16 * a)) { printf "line %d: %s vs %.17g\n", NR, got, want; bad = 1 } }
        END { exit bad }' >"$tmp/why" || fail "$label --scaled is not bare * h^2: $(cat "$tmp/why")"
}
scaled_check exact
[ "$have_fast" = fast ] && scaled_check fast --method fast

# --- refused input: named, exit 2, nothing on standard output ---------------
for bad in abc 1.5x 0 -0 -3 nan inf 1e999 1e-400 '' ' 1' '1 2'; do
    "$tool" 1 "$bad" 2 >"$tmp/out" 2>"$tmp/err"
    rc=$?
    [ $rc -eq 2 ] || fail "'$bad' exited $rc"
    [ -s "$tmp/out" ] && fail "'$bad' produced output"
    grep -qF "'$bad' (argument 2)" "$tmp/err" || fail "message for '$bad' does not name it: $(cat "$tmp/err")"
done
grep -q 'reads as 0' < <("$tool" 1e-400 2>&1) || fail "an underflowing distance is not explained"
echo "1 2 x3" | "$tool" 5 - >"$tmp/out" 2>"$tmp/err" && fail "bad stdin token accepted"
grep -qF "'x3' (standard input, line 1)" "$tmp/err" || fail "stdin message: $(cat "$tmp/err")"
[ -s "$tmp/out" ] && fail "bad stdin produced output"
printf '1\n2\n\n-4\n' >"$tmp/neg"
"$tool" -f "$tmp/neg" >"$tmp/out" 2>"$tmp/err" && fail "negative distance in a file accepted"
grep -qF "'-4' (file '$tmp/neg', line 4) must be finite" "$tmp/err" || fail "file message: $(cat "$tmp/err")"

# control bytes and NUL escaped, one line; a long token cut, its length given
printf '1 a\0b\001\033[31m\\ 2' | "$tool" - >"$tmp/out" 2>"$tmp/err"
[ $? -eq 2 ] || fail "NUL token: exit status"
grep -qF "'a\\x00b\\x01\\x1b[31m\\\\' (standard input, line 1) is not a number" "$tmp/err" ||
    fail "NUL/control token message: $(od -c "$tmp/err" | head -5)"
LC_ALL=C grep -q $'[\x01-\x08\x0b-\x1f\x7f]' "$tmp/err" && fail "raw control bytes in the message"
"$tool" 1 $'a\nb\tc' 2>"$tmp/err" && fail "token with a newline accepted"
[ "$(wc -l <"$tmp/err")" -eq 1 ] && grep -qF "'a\\nb\\tc' (argument 2)" "$tmp/err" ||
    fail "newline in a token: $(cat "$tmp/err")"
{ printf '1\n\n2 '; head -c 1000000 /dev/zero | tr '\0' 7; printf ' 3'; } | "$tool" - >"$tmp/out" 2>"$tmp/err"
[ $? -eq 2 ] || fail "million-digit distance accepted"
[ "$(wc -c <"$tmp/err")" -lt 240 ] || fail "long token not cut: $(wc -c <"$tmp/err") bytes of message"
grep -qE "'7{30,40}\.\.\.' \(1000000 bytes, standard input, line 3\)" "$tmp/err" ||
    fail "long token message: $(head -c 300 "$tmp/err")"
{ head -c 5000 /dev/zero | tr '\0' x; printf '\0\n'; } | "$tool" - 2>"$tmp/err"
grep -qE "'x{30,40}\.\.\.' \(5001 bytes, standard input, line 1\) is not a number" "$tmp/err" ||
    fail "long NUL-ended token message: $(head -c 300 "$tmp/err")"

# unsizable grids: the true reason, naming the distance at fault
unsizable() {  # expected text, distances...
    local want=$1
    shift
    "$tool" "$@" >"$tmp/out" 2>"$tmp/err"
    [ $? -eq 2 ] || fail "unsizable $*: exit status"
    [ -s "$tmp/out" ] && fail "unsizable $* produced output"
    grep -qF "$want" "$tmp/err" || fail "unsizable $*: $(cat "$tmp/err")"
}
unsizable "smallest distance '4e-320' (argument 2) is too small" 1 4e-320
unsizable "largest distance '1.5e308' (argument 3) is too large" 1e307 1.4e308 1.5e308
unsizable "from '1' (argument 1) to '1e9' (argument 2) cannot be sized: their ratio 1e+09" 1 1e9
"$tool" 1e307 1.2e308 >/dev/null || fail "distances just below DBL_MAX/sqrt(2) refused"

# --- command line ------------------------------------------------------------
printf '1' | "$tool" - - >"$tmp/out" 2>"$tmp/err" && fail "'-' twice accepted"
grep -q 'only once' "$tmp/err" || fail "'-' twice: $(cat "$tmp/err")"
"$tool" - </dev/null >"$tmp/out" 2>"$tmp/err" && fail "empty standard input accepted"
grep -q 'no distances in standard input' "$tmp/err" || fail "empty stdin: $(cat "$tmp/err")"
"$tool" --file "$tmp/missing" 1 >"$tmp/out" 2>"$tmp/err"
[ $? -eq 2 ] && grep -qF "cannot open file '$tmp/missing'" "$tmp/err" || fail "missing file: $(cat "$tmp/err")"
[ -s "$tmp/out" ] && fail "missing file produced output"
"$tool" - <&- >"$tmp/out" 2>"$tmp/err"
[ $? -eq 2 ] && grep -q 'cannot read standard input' "$tmp/err" || fail "closed stdin: $(cat "$tmp/err")"
"$tool" --method=fast --warn-after=1e9 -- 2 -0.5 >/dev/null 2>"$tmp/err"
grep -qF "'-0.5' (argument 5)" "$tmp/err" || fail "'--' and '=' forms: $(cat "$tmp/err")"
for args in "--method slow 1" "--bogus 1" "-x 1" "--grid=1 1" "--warn-after -1 1" "--warn-after" "-f"; do
    # shellcheck disable=SC2086
    "$tool" $args >"$tmp/out" 2>"$tmp/err" </dev/null
    [ $? -eq 2 ] && [ "$(wc -l <"$tmp/err")" -eq 1 ] && [ ! -s "$tmp/out" ] || fail "'$args': $(cat "$tmp/err")"
done
"$tool" --help >"$tmp/help" || fail "--help exited $?"
"$tool" -h >"$tmp/out" && cmp -s "$tmp/help" "$tmp/out" || fail "-h differs from --help"
"$tool" 1 --help 2 >"$tmp/out" && cmp -s "$tmp/help" "$tmp/out" || fail "--help among distances did not print help"
for opt in --method --scaled --grid --warn-after --file --version; do
    grep -q -- "$opt" "$tmp/help" || fail "--help does not mention $opt"
done
"$tool" --version >"$tmp/out" || fail "--version exited $?"
if [ -n "$version" ]; then
    [ "$(cat "$tmp/out")" = "hankel-transf $version" ] || fail "--version printed '$(cat "$tmp/out")', want $version"
fi

# --- a failed write is reported, exit 2 --------------------------------------
if [ -w /dev/full ]; then
    for args in "1" "--method exact 1 2 3" "--help" "--version"; do
        # shellcheck disable=SC2086
        "$tool" $args >/dev/full 2>"$tmp/err"
        rc=$?
        [ $rc -eq 2 ] || fail "'$args' >/dev/full exited $rc"
        grep -q 'cannot write to standard output' "$tmp/err" || fail "'$args' >/dev/full: $(cat "$tmp/err")"
    done
fi

# --- warnings and progress ----------------------------------------------------
# Progress lines: exactly 1..n of n, in order, after the warning; results as
# a quiet run gives them.
progress_check() {  # label, options...
    local label=$1
    shift
    "$tool" "$@" --warn-after 0 1 2 3 4 >"$tmp/out" 2>"$tmp/err" || fail "$label --warn-after 0 exited $?"
    grep -q 'should take about' "$tmp/err" || fail "$label: no time estimate: $(cat "$tmp/err")"
    printf 'hankel-transf: %d of 4 distances done\n' 1 2 3 4 >"$tmp/want"
    grep 'distances done' "$tmp/err" | cmp -s - "$tmp/want" || fail "$label progress: $(cat "$tmp/err")"
    "$tool" "$@" 1 2 3 4 >"$tmp/quiet" 2>"$tmp/err"
    cmp -s "$tmp/out" "$tmp/quiet" || fail "$label: progress changed the results"
    [ -s "$tmp/err" ] && fail "$label: a short run wrote to stderr: $(cat "$tmp/err")"
}
progress_check exact
"$tool" --warn-after 0 1 2 3 4 2>&1 >/dev/null | head -1 >"$tmp/warn"
if [ "$have_fast" = fast ]; then
    progress_check fast --method fast
    grep -q -- '--method fast .*should take about' "$tmp/warn" || fail "exact warning does not offer the fast method"
else
    grep -q -- '--method fast' "$tmp/warn" && fail "a build without the fast method advises it"
fi

# A fast run that takes tens of seconds (ratio 1e6, N = 4500002) is announced
# with its moment pass, which reports progress per term of the kernel's
# exponential sum; the run itself is not waited for.
if [ "$have_fast" = fast ]; then
    "$tool" --method fast 1 1e6 >"$tmp/out" 2>"$tmp/err" &
    bg_pids+=($!)
    if wait_for "$tmp/err" 'fast method should take about'; then
        { kill -KILL "${bg_pids[-1]}" && wait "${bg_pids[-1]}"; } 2>/dev/null
        # 36 terms, 4 FFTs of 9e6 points each: tens of seconds, never minutes or hours
        grep -qE 'about [1-9][0-9] s for the kernel moments before the first result \(progress shown per term' "$tmp/err" ||
            fail "fast long-run warning: $(cat "$tmp/err")"
        grep -q 'N = 4500002' "$tmp/err" || fail "fast warning does not give N: $(cat "$tmp/err")"
    else
        fail "no warning before a long fast run: $(cat "$tmp/err")"
    fi
fi

# --- results are printed as they are done --------------------------------------
# 2000 distances on a 1352-point grid take tens of seconds; the run is ended
# as soon as the first line is out. Whatever it printed must be whole lines,
# each the value the same grid gives ({1, 300} sets the same grid).
"$tool" 1 300 >"$tmp/ref" || fail "'1 300' exited $?"
"$tool" 1 $(yes 300 | head -1999) >"$tmp/out" 2>/dev/null &
pid=$!
bg_pids+=($pid)
if wait_for "$tmp/out" .; then
    kill -TERM $pid
    wait $pid
    rc=$?
    [ $rc -eq 143 ] || fail "interrupted run: exit status $rc (finished before the signal?)"
    lines=$(wc -l <"$tmp/out")
    [ "$lines" -ge 1 ] && [ "$lines" -lt 2000 ] || fail "interrupted run kept $lines lines"
    [ "$(tail -c1 "$tmp/out" | od -An -c | tr -d ' ')" = '\n' ] || fail "interrupted run left a partial line"
    head -1 "$tmp/out" | cmp -s - <(head -1 "$tmp/ref") || fail "interrupted run, line 1: $(head -1 "$tmp/out")"
    tail -n +2 "$tmp/out" | sort -u | cmp -s - <(sed -n 2p "$tmp/ref") ||
        [ "$lines" -eq 1 ] || fail "interrupted run, later lines: $(tail -n +2 "$tmp/out" | sort -u | head -3)"
else
    fail "no result line within 120 s"
fi

# A table no machine has (1.6 TB) is announced with its time and reported,
# not aborted on. 40 distances at N = 450003 are 8e12 cosines: 11-44 hours
# at 5-20 ns each; the fast method needs about a second (its FFT moments).
ASAN_OPTIONS=allocator_may_return_null=1 "$tool" 1 1e5 $(seq 2 39) >"$tmp/out" 2>"$tmp/err"
rc=$?
[ $rc -eq 2 ] || fail "impossible table: exit $rc, $(cat "$tmp/err")"
grep -q 'could not allocate the N x N table of 1.62 TB (N = 450003)' "$tmp/err" ||
    fail "impossible table message: $(cat "$tmp/err")"
[ -s "$tmp/out" ] && fail "impossible table produced output"
hours=$(sed -n 's/.*exact method needs an N x N table of 1.62 TB (N = 450003) and should take about \([0-9.]*\) h.*/\1/p' "$tmp/err")
[ -n "$hours" ] && awk -v h="$hours" 'BEGIN { exit !(h >= 11 && h <= 44) }' ||
    fail "exact estimate for 40 distances at N = 450003: $(head -1 "$tmp/err")"
if [ "$have_fast" = fast ]; then
    grep -qE -- '--method fast .*should take about [0-9.]+ s$' "$tmp/err" ||
        fail "impossible table: advice: $(cat "$tmp/err")"
fi

if [ "$have_fast" = fast ]; then
    "$tool" --method fast 2 1 >"$tmp/fast" || fail "fast method exited $?"
    IFS=$'\t' read -r _ f1 < <(sed -n 1p "$tmp/fast")
    near10 "$f1" 0.3717551400 || fail "fast ht(2 | {2, 1}) = $f1"
fi

if [ $failures -eq 0 ]; then echo "tool: all checks passed"; else echo "tool: $failures failure(s)"; fi
[ $failures -eq 0 ]
