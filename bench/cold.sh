#!/usr/bin/env bash
# The nightly run: batch mode with caches that the day has flushed, against
# cp and rsync, in one invocation. Before every cold run the page cache, the
# folder entries and the file attributes the kernel holds are dropped
# (echo 3 > /proc/sys/vm/drop_caches), which needs root; without it the
# script says so and ends.
#
#   bench/cold.sh [SCRATCH-FOLDER]
#
# For each size in SIZES (files; 50 files a folder, 0-16 KiB each; default
# "20000 200000") it times, cold:
#   nothing changed  vestrelle -f SET -l LOG  vs  cp -ru --preserve=timestamps, rsync -rtu
#   a tenth changed  the same, every tenth file made newer before each round,
#                    each tool updating a full copy of its own
# and warm, nothing changed, against bench/liststat: one thread that lists
# and stats both trees and does nothing else. Last, the start-up of a batch
# run on a copy set of one file, cold. Medians of RUNS (default 5) cold runs
# and RUNS_WARM (default 11) warm ones, the tools taking turns; ratios are
# ours / theirs. The trees are removed only at the end (see scale.sh: new
# files are slow to make right after a large removal, and a tenth changed
# makes new files).
set -euo pipefail
if ! { : >/proc/sys/vm/drop_caches; } 2>/dev/null; then
  echo "bench/cold.sh: dropping the caches needs root (/proc/sys/vm/drop_caches); nothing measured" >&2
  exit 1
fi
. "$(dirname "$0")/common.sh" "$@"
sizes=${SIZES:-20000 200000}
runs=${RUNS:-5}
runs_warm=${RUNS_WARM:-11}

export program=$build/bin/vestrelle
export liststat=$build/bin/liststat
export scratch
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export XDG_CONFIG_HOME=$scratch/config
cold='sync; echo 3 >/proc/sys/vm/drop_caches'

# copyset NAME SRC DST: a copy set of SRC onto DST, with subfolders.
copyset() {
  printf 'cmbSrc\t%s\r\ncmbDst\t%s\r\nchkSubDir\t1\r\nchkIgn\t0\r\neditIgn\t\r\nchkMakeDir\t0\r\nchkFilter\t0\r\n' \
    "$2" "$3" >"$scratch/$1.vstl"
}
# clean LOG: the log of a batch run ends as a clean run ends.
clean() { grep -q 'コピーが終了しました' "$1" || { tail -n 5 "$1"; exit 1; }; }

rows=() warm_rows=()
# row NAME OURS CP RSYNC GOAL: one line of the table; the goal holds against both.
row() {
  local to_cp to_rsync met=no
  to_cp=$(ratio "$2" "$3")
  to_rsync=$(ratio "$2" "$4")
  if [ "$(echo "$to_cp <= $5 && $to_rsync <= $5" | bc)" = 1 ]; then met=yes; fi
  rows+=("$(printf '%-28s %8s %8s %8s | %6s %6s | <=%-4s %s' "$1" "$2" "$3" "$4" "$to_cp" "$to_rsync" "$5" "$met")")
}

for files in $sizes; do
  export tree=$scratch/tree-$files upd=$scratch/upd-$files
  echo "making $files files..."
  "$build/bin/make_tree" "$tree" "$files" $((files / 50)) 42
  for tool in batch cp rsync; do cp -r --preserve=timestamps "$tree" "$upd-$tool"; done
  copyset "job-$files" "$tree" "$upd-batch"
  export set=$scratch/job-$files.vstl log=$scratch/job-$files.log

  # Nothing changed: each tool on its own current copy.
  "$program" -f "$set" -l "$log" && clean "$log"
  read -r same_ours _ same_cp _ same_rsync _ < <(interleave "$runs" "$cold" \
    '"$program" -f "$set" -l "$log"' \
    'cp -ru --preserve=timestamps "$tree/." "$upd-cp/"' \
    'rsync -rtu "$tree/" "$upd-rsync/"')
  clean "$log"
  row "cold, nothing changed, $files" "$same_ours" "$same_cp" "$same_rsync" 0.8

  # A tenth changed: at the start of each round every tenth file gets a time
  # later than the round before's (see compare.sh).
  (cd "$tree" && find . -type f | sort | awk 'NR % 10 == 1') >"$scratch/tenth.txt"
  newer() { (cd "$tree" && xargs -d '\n' touch -d "@$((1700100000 + 60 * $1))" <"$scratch/tenth.txt"); }
  # shellcheck disable=SC2034 # round and turn are used by the preparation
  round=0 turn=0
  read -r changed_ours _ changed_cp _ changed_rsync _ < <(interleave "$runs" \
    'if [ $((turn % 3)) -eq 0 ]; then round=$((round + 1)); newer "$round"; fi; turn=$((turn + 1)); '"$cold" \
    '"$program" -f "$set" -l "$log"' \
    'cp -ru --preserve=timestamps "$tree/." "$upd-cp/"' \
    'rsync -rtu "$tree/" "$upd-rsync/"')
  clean "$log"
  row "cold, a tenth changed, $files" "$changed_ours" "$changed_cp" "$changed_rsync" 0.9

  # Warm, nothing changed: against one thread that only lists and stats.
  "$liststat" "$tree" "$upd-batch" >/dev/null
  read -r warm_ours warm_ours_cpu warm_list warm_list_cpu warm_cp _ warm_rsync _ < <(interleave "$runs_warm" : \
    '"$program" -f "$set" -l "$log"' \
    '"$liststat" "$tree" "$upd-batch"' \
    'cp -ru --preserve=timestamps "$tree/." "$upd-cp/"' \
    'rsync -rtu "$tree/" "$upd-rsync/"')
  warm_rows+=("$(printf '%-28s %8s %8s %6s | %8s %8s | %8s %8s' "warm, nothing changed, $files" "$warm_ours" \
    "$warm_list" "$(ratio "$warm_ours" "$warm_list")" "$warm_ours_cpu" "$warm_list_cpu" "$warm_cp" "$warm_rsync")")
done
rm -rf "$scratch"/tree-* "$scratch"/upd-*

# Start-up: a copy set of one small file with nothing to copy.
mkdir -p "$scratch/one/src" "$scratch/one/dst"
echo "one small file" >"$scratch/one/src/a.txt"
cp --preserve=timestamps "$scratch/one/src/a.txt" "$scratch/one/dst/"
copyset one "$scratch/one/src" "$scratch/one/dst"
"$program" -f "$scratch/one.vstl" -l "$scratch/one.log" && clean "$scratch/one.log"
read -r one_ours _ one_cp _ one_rsync _ < <(interleave "$runs_warm" "$cold" \
  '"$program" -f "$scratch/one.vstl" -l "$scratch/one.log"' \
  'cp -ru --preserve=timestamps "$scratch/one/src/." "$scratch/one/dst/"' \
  'rsync -rtu "$scratch/one/src/" "$scratch/one/dst/"')

echo
echo "median seconds; ratio = batch / theirs; cold: caches dropped before every run"
printf '%-28s %8s %8s %8s | %6s %6s | %s\n' "work" "batch" "cp" "rsync" "/cp" "/rsync" "goal met"
printf '%s\n' "${rows[@]}"
echo
printf '%-28s %8s %8s %6s | %8s %8s | %8s %8s\n' "work" "batch" "liststat" "ratio" "cpu bat" "cpu list" "cp" "rsync"
printf '%s\n' "${warm_rows[@]}"
echo "goal: batch <= 0.8 x liststat"
echo
printf 'cold start-up, a copy set of one file: batch %s s, cp %s s, rsync %s s\n' "$one_ours" "$one_cp" "$one_rsync"
