#!/usr/bin/env bash
# Compares the copy engine (bench/engine_run) with cp and rsync on the same
# trees in one invocation, and prints the median times and their ratios.
#
#   bench/compare.sh [SCRATCH-FOLDER]
#
# Builds a Release tree in build-bench/, makes a deterministic tree of 50,000
# files (0-16 KiB, 1,000 folders) and one 1 GiB file in the scratch folder
# (default: a new folder under /tmp, removed at the end), then times:
#   nothing changed  engine_run        vs  cp -ru --preserve=timestamps  (rsync -rtu)
#   first copy       engine_run        vs  cp -r --preserve=timestamps   (rsync -rt)
#   one 1 GiB file   engine_run        vs  cp --preserve=timestamps      (rsync -t)
# Caches are warm; each timed run is preceded by a sync that is not timed.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$top/build-bench}
runs_update=${RUNS_UPDATE:-5}
runs_copy=${RUNS_COPY:-3}
runs_big=${RUNS_BIG:-3}

"$top/scripts/deps.sh" rsync time strace
BUILD_DIR=$build "$top/scripts/build.sh" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
engine=$build/bin/engine_run

if [ $# -ge 1 ]; then
  scratch=$1
  mkdir -p "$scratch"
else
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/vestrelle-bench-XXXXXX")
  trap 'rm -rf "$scratch"' EXIT
fi

echo "machine: $(nproc) cores, $(df -T "$scratch" | awk 'NR==2 {print $2}') at $scratch"
echo "making the trees..."
rm -rf "$scratch/tree" "$scratch/small" "$scratch/big"
"$build/bin/make_tree" "$scratch/tree" 50000 1000 42
"$build/bin/make_tree" "$scratch/small" 500 10 42
mkdir -p "$scratch/big"
head -c $((1024 * 1024 * 1024)) /dev/urandom >"$scratch/big/one.bin"

# seconds CMD...: runs CMD with its output discarded and prints the elapsed seconds.
seconds() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  echo "scale=4; ($end - $start) / 1000000000" | bc
}

median() {
  sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# measure NAME RUNS PREPARE TOOL...: runs PREPARE (untimed) then TOOL, RUNS times; prints the median.
measure() {
  local runs=$1 prepare=$2
  shift 2
  local i
  for ((i = 0; i < runs; i++)); do
    eval "$prepare"
    sync
    seconds "$@"
  done | median
}

row() {
  local name=$1 ours=$2 theirs=$3 rsync_time=$4
  printf '%-16s %10s %10s %8s %10s %8s\n' "$name" "$ours" "$theirs" \
    "$(echo "scale=3; $ours / $theirs" | bc)" "$rsync_time" "$(echo "scale=3; $ours / $rsync_time" | bc)"
}

dst=$scratch/dst
# Nothing changed: the destination is a full, current copy.
rm -rf "$dst" && cp -r --preserve=timestamps "$scratch/tree" "$dst"
"$engine" "$scratch/tree" "$dst" >/dev/null # warm the caches
update_ours=$(measure "$runs_update" : "$engine" "$scratch/tree" "$dst")
update_cp=$(measure "$runs_update" : cp -ru --preserve=timestamps "$scratch/tree/." "$dst/")
update_rsync=$(measure "$runs_update" : rsync -rtu "$scratch/tree/" "$dst/")

# First copy into an empty destination.
fresh='rm -rf "$dst"; sync'
copy_ours=$(measure "$runs_copy" "$fresh" "$engine" "$scratch/tree" "$dst")
copy_cp=$(measure "$runs_copy" "$fresh" cp -r --preserve=timestamps "$scratch/tree" "$dst")
copy_rsync=$(measure "$runs_copy" "$fresh" rsync -rt "$scratch/tree/" "$dst/")

# One 1 GiB file.
big_ours=$(measure "$runs_big" "$fresh; mkdir -p \"\$dst\"" "$engine" "$scratch/big" "$dst")
big_cp=$(measure "$runs_big" "$fresh; mkdir -p \"\$dst\"" cp --preserve=timestamps "$scratch/big/one.bin" "$dst/one.bin")
big_rsync=$(measure "$runs_big" "$fresh; mkdir -p \"\$dst\"" rsync -t "$scratch/big/one.bin" "$dst/one.bin")
rm -rf "$dst"

echo
printf '%-16s %10s %10s %8s %10s %8s\n' "work (median s)" "engine" "cp" "ratio" "rsync" "ratio"
row "nothing changed" "$update_ours" "$update_cp" "$update_rsync"
row "first copy" "$copy_ours" "$copy_cp" "$copy_rsync"
row "one 1 GiB file" "$big_ours" "$big_cp" "$big_rsync"

# Peak memory of a run where nothing changed: 50,000 files against 500.
peak() { command time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }
cp -r --preserve=timestamps "$scratch/tree" "$scratch/tree-copy"
cp -r --preserve=timestamps "$scratch/small" "$scratch/small-copy"
peak_large=$(peak "$engine" "$scratch/tree" "$scratch/tree-copy")
peak_small=$(peak "$engine" "$scratch/small" "$scratch/small-copy")
echo
echo "peak memory, nothing changed: 50,000 files ${peak_large} KiB, 500 files ${peak_small} KiB," \
  "difference $((peak_large - peak_small)) KiB"

# System calls per file on the 500-file tree.
calls() { strace -f -c -o "$scratch/strace.txt" "$@" >/dev/null 2>&1; awk '/^-+ / {s = 1; next} s && $NF == "total" {print $(NF-1)}' "$scratch/strace.txt"; }
rm -rf "$scratch/small-new"
echo "system calls, 500 files: nothing changed engine $(calls "$engine" "$scratch/small" "$scratch/small-copy")," \
  "cp $(calls cp -ru --preserve=timestamps "$scratch/small/." "$scratch/small-copy/");" \
  "first copy engine $(calls "$engine" "$scratch/small" "$scratch/small-new")," \
  "cp $(rm -rf "$scratch/small-new"; calls cp -r --preserve=timestamps "$scratch/small" "$scratch/small-new")"
rm -rf "$scratch/tree-copy" "$scratch/small-copy" "$scratch/small-new"
