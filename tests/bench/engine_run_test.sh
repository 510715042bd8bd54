#!/bin/sh
# engine_run from the command line: its arguments, its last line, its exit status.
# Usage: engine_run_test.sh ENGINE_RUN
set -u
engine=$1
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

for args in "" "only-one" "a b c" "a b --ign" "a b --ign x" "a b --bogus" \
  "a b --include txt --exclude doc" "a b --include" "a b --ahead" "a b --ahead x" "a b --ahead -1"; do
  # shellcheck disable=SC2086
  if "$engine" $args >/dev/null 2>&1; then fail "accepted: $args"; fi
done
if "$engine" a b --include "   " >/dev/null 2>&1; then fail "accepted a blank filter"; fi

mkdir -p "$work/src/sub"
printf one >"$work/src/a.txt"
printf two >"$work/src/b.doc"
printf three >"$work/src/sub/c.txt"

last=$("$engine" "$work/src" "$work/dst" --simulate | tail -n 1)
[ "$last" = "checked 3 copied 3 errors 0 result 0" ] || fail "simulate: $last"
[ ! -e "$work/dst" ] || fail "simulate wrote the destination"

last=$("$engine" "$work/src" "$work/dst" --no-subdirs --exclude "DOC" | tail -n 1)
[ "$last" = "checked 2 copied 1 errors 0 result 0" ] || fail "exclude: $last"
[ ! -e "$work/dst/sub" ] || fail "--no-subdirs made a subfolder"

out=$("$engine" "$work/src" "$work/dst" --list)
echo "$out" | grep -qx "copied $work/src/b.doc" || fail "--list did not name b.doc: $out"
[ "$(echo "$out" | tail -n 1)" = "checked 3 copied 2 errors 0 result 0" ] || fail "full run: $out"

# A file that cannot be copied is skipped, counted, and the run goes on.
touch -d "2000-01-01" "$work/dst/a.txt"
chmod a-w "$work/dst/a.txt"
last=$("$engine" "$work/src" "$work/dst" 2>"$work/err" | tail -n 1)
[ "$last" = "checked 3 copied 0 errors 1 result 0" ] || fail "error run: $last"
grep -q "Permission denied" "$work/err" || fail "no error message: $(cat "$work/err")"

[ $failures -eq 0 ] && echo "engine_run: all checks passed"
[ $failures -eq 0 ]
