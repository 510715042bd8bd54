#!/usr/bin/env bash
# What keeping replaced files costs: batch mode on the 50,000-file tree where
# a tenth of the files are newer at the source, once with the copy set's
# KeepReplaced line and once without, side by side in one invocation. The
# kept files are moved, not copied, so the two should take about as long.
# Goal: with / without <= 1.05.
#
#   bench/keep_compare.sh [SCRATCH-FOLDER]
#
# RUNS_CHANGED (default 7) rounds; KEEP_FILES and KEEP_FOLDERS (default 50000
# and 1000) the tree's size.
set -euo pipefail
. "$(dirname "$0")/common.sh" "$@"
runs=${RUNS_CHANGED:-7}
files=${KEEP_FILES:-50000}
folders=${KEEP_FOLDERS:-1000}

export program=$build/bin/vestrelle
export tree=$scratch/keep-tree
export scratch
[ -d "$tree" ] || "$build/bin/make_tree" "$tree" "$files" "$folders" 42

unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export XDG_CONFIG_HOME=$scratch/config

# copyset NAME DST [LINE]: the copy set of the tree onto DST, with LINE after the twelve.
copyset() {
  printf 'cmbSrc\t%s\r\ncmbDst\t%s\r\nchkSubDir\t1\r\nchkIgn\t0\r\neditIgn\t\r\nchkMakeDir\t0\r\nchkFilter\t0\r\n%s' \
    "$tree" "$2" "${3:-}" >"$scratch/$1.vstl"
}
export plain=$scratch/dst-plain keep=$scratch/dst-keep
rm -rf "$plain" "$keep"
cp -r --preserve=timestamps "$tree" "$plain"
cp -r --preserve=timestamps "$tree" "$keep"
copyset plain "$plain"
copyset keep "$keep" $'reg\tKeepReplaced\t1\t30\tdays\r\n'

# Every tenth file, in path order, is made newer before each run; the
# versions kept by the run before are removed, neither timed.
(cd "$tree" && find . -type f | sort | awk 'NR % 10 == 1') >"$scratch/tenth.txt"
export stamp=1800000000
prepare='stamp=$((stamp + 60)); (cd "$tree" && xargs -d "\n" touch -d "@$stamp" <"$scratch/tenth.txt"); rm -rf "$keep/.vestrelle-versions"'

# A check first: each run copies the tenth, and the one that keeps moves as many aside.
eval "$prepare"
"$program" -f "$scratch/plain.vstl" -l "$scratch/plain.log"
"$program" -f "$scratch/keep.vstl" -l "$scratch/keep.log"
tail -n 2 "$scratch/plain.log" | head -n 1
tail -n 2 "$scratch/keep.log" | head -n 1

read -r keep_s keep_cpu plain_s plain_cpu < <(interleave "$runs" "$prepare" \
  '"$program" -f "$scratch/keep.vstl" -l "$scratch/keep.log"' \
  '"$program" -f "$scratch/plain.vstl" -l "$scratch/plain.log"')
rm -rf "$plain" "$keep"

echo
echo "median seconds of $runs runs, a tenth of $files files changed; ratio = keeping / not keeping"
printf '%-20s %8s %8s %6s | %8s %8s %6s\n' "work" "keep" "plain" "ratio" "cpu keep" "cpu pl" "ratio"
printf '%-20s %8s %8s %6s | %8s %8s %6s\n' "a tenth changed" "$keep_s" "$plain_s" "$(ratio "$keep_s" "$plain_s")" \
  "$keep_cpu" "$plain_cpu" "$(ratio "$keep_cpu" "$plain_cpu")"
