#!/usr/bin/env bash
# Compares an update run driven through the main window (bench/window_run,
# offscreen) with the same run of bench/engine_run, on the 50,000-file tree,
# in one invocation: nothing changed, and a first copy. Prints the median
# times and the ratio window / engine. The window's time is that of the run
# itself, from the click on Start to the summary (window_run reports it); the
# start-up of Qt and the window, a fixed cost of a tenth of a second or so, is
# left out. engine_run is timed as a whole process.
#
#   bench/window_compare.sh [SCRATCH-FOLDER]
set -euo pipefail
. "$(dirname "$0")/common.sh" "$@"
runs=${RUNS:-5}
engine=$build/bin/engine_run
window=$build/bin/window_run
export QT_QPA_PLATFORM=offscreen

tree=$scratch/tree
[ -d "$tree" ] || "$build/bin/make_tree" "$tree" 50000 1000 42

# seconds TOOL DST: times one run of TOOL (engine or window) from the tree onto DST.
seconds() {
  local start end
  if [ "$1" = window ]; then
    "$window" "$tree" "$2" 2>/dev/null | awk '$1 == "run" { print $2 }'
    return
  fi
  start=$(date +%s%N)
  "$engine" "$tree" "$2" >/dev/null 2>&1
  end=$(date +%s%N)
  echo "scale=4; ($end - $start) / 1000000000" | bc
}

# Nothing changed: one current copy serves every run.
rm -rf "$scratch/current" && cp -r --preserve=timestamps "$tree" "$scratch/current"
"$engine" "$tree" "$scratch/current" >/dev/null
update_engine=$(for ((i = 0; i < runs; i++)); do seconds engine "$scratch/current"; done | median)
update_window=$(for ((i = 0; i < runs; i++)); do seconds window "$scratch/current"; done | median)

# First copy: a new destination each run, removed at the end; the two take
# turns at going first.
copy_times=$(mktemp)
for ((i = 0; i < runs; i++)); do
  order="engine window"
  [ $((i % 2)) -eq 1 ] && order="window engine"
  for tool in $order; do
    sync
    echo "$tool $(seconds "$tool" "$scratch/$tool-$i")" >>"$copy_times"
  done
done
copy_engine=$(awk '$1 == "engine" { print $2 }' "$copy_times" | median)
copy_window=$(awk '$1 == "window" { print $2 }' "$copy_times" | median)
rm -rf "$copy_times" "$scratch"/engine-[0-9]* "$scratch"/window-[0-9]* "$scratch/current"

printf '%-16s %10s %10s %8s\n' "work (median s)" "window" "engine" "ratio"
printf '%-16s %10s %10s %8s\n' "nothing changed" "$update_window" "$update_engine" \
  "$(echo "scale=3; $update_window / $update_engine" | bc)"
printf '%-16s %10s %10s %8s\n' "first copy" "$copy_window" "$copy_engine" \
  "$(echo "scale=3; $copy_window / $copy_engine" | bc)"
