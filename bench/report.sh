#!/usr/bin/env bash
# Runs every benchmark of bench/ on one scratch folder and prints their
# results as one table of ratios: the engine against cp and rsync
# (compare.sh), the whole program in batch mode against cp, rsync and the
# engine (batch_compare.sh), a run through the window against the engine
# (window_compare.sh), then the copied-file list (list_bench), peak memory
# and system calls.
#
#   bench/report.sh [SCRATCH-FOLDER]   run them all: about ten minutes on two cores
#   bench/report.sh --from FOLDER      print the table again from a run's saved outputs
#
# compare.sh makes the 50,000-file tree in the scratch folder and the scripts
# after it use the same tree. The scratch folder is removed at the end unless
# it was given. Each script's whole output is kept in REPORT_DIR (default
# build-bench/report/): compare.txt, batch.txt, window.txt, list.txt.
# RUNS_UPDATE, RUNS_COPY, RUNS_BIG and RUNS reach the scripts unchanged.
# Exits 1 when a benchmark failed or its output lacks a figure.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
build=${BENCH_BUILD_DIR:-$top/build-bench}

# ---- Reading the outputs --------------------------------------------------

missing=0

# row FILE NAME: the figures of the table row that starts with NAME (a work
# such as "first copy"), without the "|" separators; nothing when absent.
row() {
  [ -f "$1" ] || return 0
  awk -v name="$2" 'index($0, name " ") == 1 { $0 = substr($0, length(name) + 1); gsub(/\|/, " "); $1 = $1; print; exit }' "$1"
}

# num VALUE: VALUE as seconds with three decimals ("-" when absent).
num() { awk -v v="${1:-}" 'BEGIN { if (v == "" || v == "-") print "-"; else printf "%.3f", v }'; }

# ratio A B: A / B with three decimals ("-" when either is absent or B is 0).
ratio() {
  awk -v a="${1:-}" -v b="${2:-}" 'BEGIN { if (a == "" || b == "" || a == "-" || b == "-" || b + 0 == 0) print "-"; else printf "%.3f", a / b }'
}

# need NAME VALUE...: counts a missing figure of NAME.
need() {
  local name=$1 value
  shift
  for value in "$@"; do
    if [ -z "$value" ]; then
      echo "missing: $name" >&2
      missing=$((missing + 1))
      return
    fi
  done
}

line() {
  printf '%-7s %-16s %8s %8s %8s %8s | %7s %7s %7s %7s\n' "$@"
}

report() {
  local dir=$1 machine
  machine=$(grep -h -m 1 '^machine: ' "$dir"/compare.txt "$dir"/batch.txt "$dir"/window.txt 2>/dev/null | head -n 1)
  echo "Vestrelle benchmarks, ${machine:-machine: unknown}"
  echo "median seconds; ratio = ours / theirs, below 1 is faster; cpu = user + system seconds"
  echo
  line "" "work" "ours" "cp" "rsync" "engine" "/cp" "/rsync" "/engine" "cpu/cp"

  local work ours cp cp_ratio rsync_ratio ours_cpu cp_cpu cpu_ratio rsync rsync_cpu engine
  for work in "nothing changed" "first copy" "one 1 GiB file"; do
    read -r ours cp cp_ratio rsync_ratio ours_cpu cp_cpu cpu_ratio rsync rsync_cpu <<<"$(row "$dir/compare.txt" "$work")"
    need "compare.sh, $work" "${rsync_cpu:-}"
    line engine "$work" "$(num "${ours:-}")" "$(num "${cp:-}")" "$(num "${rsync:-}")" - \
      "$(ratio "${ours:-}" "${cp:-}")" "$(ratio "${ours:-}" "${rsync:-}")" - "$(ratio "${ours_cpu:-}" "${cp_cpu:-}")"
  done
  for work in "nothing changed" "first copy"; do
    read -r ours cp cp_ratio ours_cpu cp_cpu cpu_ratio engine rsync <<<"$(row "$dir/batch.txt" "$work")"
    need "batch_compare.sh, $work" "${rsync:-}"
    line batch "$work" "$(num "${ours:-}")" "$(num "${cp:-}")" "$(num "${rsync:-}")" "$(num "${engine:-}")" \
      "$(ratio "${ours:-}" "${cp:-}")" "$(ratio "${ours:-}" "${rsync:-}")" "$(ratio "${ours:-}" "${engine:-}")" \
      "$(ratio "${ours_cpu:-}" "${cp_cpu:-}")"
  done
  for work in "nothing changed" "first copy"; do
    read -r ours engine cp_ratio <<<"$(row "$dir/window.txt" "$work")"
    need "window_compare.sh, $work" "${engine:-}"
    line window "$work" "$(num "${ours:-}")" - - "$(num "${engine:-}")" - - "$(ratio "${ours:-}" "${engine:-}")" -
  done
  echo
  echo "engine: bench/engine_run; batch: vestrelle -f SET -l LOG as a whole process;"
  echo "window: the run from the click on Start to the summary, offscreen. Each group"
  echo "is one script's run, so compare ratios within a row, not seconds across groups."
  echo

  local list memory calls
  list=$(grep -h -m 1 '^lines [0-9]*: first ' "$dir/list.txt" 2>/dev/null)
  need "list_bench" "$list"
  echo "copied-file list: ${list:-missing}"
  memory=$(grep -h -m 1 '^peak memory, ' "$dir/compare.txt" 2>/dev/null)
  need "compare.sh, peak memory" "$memory"
  echo "${memory:-peak memory: missing}"
  calls=$(grep -h -m 1 '^system calls, ' "$dir/compare.txt" 2>/dev/null)
  need "compare.sh, system calls" "$calls"
  echo "${calls:-system calls: missing}"
}

if [ "${1:-}" = --from ]; then
  [ -d "${2:-}" ] || {
    echo "usage: bench/report.sh --from FOLDER" >&2
    exit 2
  }
  report "$2"
  [ $missing -eq 0 ]
  exit
fi

# ---- Running the benchmarks -----------------------------------------------

out=${REPORT_DIR:-$build/report}
mkdir -p "$out"
if [ $# -ge 1 ]; then
  scratch=$1
  mkdir -p "$scratch"
else
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/vestrelle-report-XXXXXX")
  trap 'rm -rf "$scratch"' EXIT
fi
scratch=$(cd "$scratch" && pwd)

failed=()
# bench NAME OUTPUT COMMAND...: runs one benchmark, its output shown and kept.
bench() {
  local name=$1 file=$2
  shift 2
  echo "== $name"
  if ! "$@" 2>&1 | tee "$file"; then
    failed+=("$name")
  fi
  # What one script removed is written back before the next one times anything.
  sync
}

bench compare.sh "$out/compare.txt" "$here/compare.sh" "$scratch"
# The 1 GiB file and the small trees serve compare.sh alone.
rm -rf "$scratch/big" "$scratch/small"
bench batch_compare.sh "$out/batch.txt" "$here/batch_compare.sh" "$scratch"
bench window_compare.sh "$out/window.txt" "$here/window_compare.sh" "$scratch"
bench list_bench "$out/list.txt" env QT_QPA_PLATFORM=offscreen "$build/bin/list_bench"

echo
report "$out"
echo
echo "outputs kept in $out"
if [ ${#failed[@]} -ne 0 ]; then
  echo "failed: ${failed[*]}" >&2
  exit 1
fi
[ $missing -eq 0 ]
