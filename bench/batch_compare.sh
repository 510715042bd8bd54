#!/usr/bin/env bash
# Compares the program in batch mode (vestrelle -f SET -l LOG, no display)
# with cp on the 50,000-file tree, in one invocation: nothing changed, and a
# first copy into an empty destination. The program is timed as a whole
# process: start-up, reading the copy set, the run, the log and the end.
# engine_run (the engine alone) and rsync are shown for information.
#
#   bench/batch_compare.sh [SCRATCH-FOLDER]
set -euo pipefail
. "$(dirname "$0")/common.sh" "$@"
runs_update=${RUNS_UPDATE:-7}
runs_copy=${RUNS_COPY:-5}

export engine=$build/bin/engine_run
export program=$build/bin/vestrelle
export tree=$scratch/tree
export scratch
[ -d "$tree" ] || "$build/bin/make_tree" "$tree" 50000 1000 42

# The program runs as a scheduler would start it: no display, settings of its own.
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export XDG_CONFIG_HOME=$scratch/config

# copyset DST: writes the copy set of the tree onto DST to $scratch/job.vstl.
copyset() {
  printf 'cmbSrc\t%s\r\ncmbDst\t%s\r\nchkSubDir\t1\r\nchkIgn\t0\r\neditIgn\t\r\nchkMakeDir\t0\r\nchkFilter\t0\r\n' \
    "$tree" "$1" >"$scratch/job.vstl"
}

# Nothing changed: the destination is a full, current copy.
export dst=$scratch/dst
rm -rf "$dst" && cp -r --preserve=timestamps "$tree" "$dst"
copyset "$dst"
"$program" -f "$scratch/job.vstl" -l "$scratch/job.log" # warm the caches
tail -n 2 "$scratch/job.log" | head -n 1
read -r update_ours update_ours_cpu update_cp update_cp_cpu update_engine update_engine_cpu update_rsync update_rsync_cpu \
  < <(interleave "$runs_update" : \
    '"$program" -f "$scratch/job.vstl" -l "$scratch/job.log"' \
    'cp -ru --preserve=timestamps "$tree/." "$dst/"' \
    '"$engine" "$tree" "$dst"' \
    'rsync -rtu "$tree/" "$dst/"')

# First copy: a new destination each run, removed only at the end (see compare.sh).
fresh=0
read -r copy_ours copy_ours_cpu copy_cp copy_cp_cpu copy_engine copy_engine_cpu copy_rsync copy_rsync_cpu \
  < <(interleave "$runs_copy" 'fresh=$((fresh + 1)); dst=$scratch/fresh-$fresh; copyset "$dst"' \
    '"$program" -f "$scratch/job.vstl" -l "$scratch/job.log"' \
    'cp -r --preserve=timestamps "$tree" "$dst"' \
    '"$engine" "$tree" "$dst"' \
    'rsync -rt "$tree/" "$dst/"')
tail -n 2 "$scratch/job.log" | head -n 1
rm -rf "$scratch"/fresh-* "$scratch/dst"

echo
echo "median seconds; ratio = batch / cp; cpu = user + system seconds"
printf '%-16s %8s %8s %6s | %8s %8s %6s | %8s %8s\n' "work" "batch" "cp" "ratio" "cpu bat" "cpu cp" "ratio" \
  "engine" "rsync"
for work in update copy; do
  eval "ours=\$${work}_ours ours_cpu=\$${work}_ours_cpu cp=\$${work}_cp cp_cpu=\$${work}_cp_cpu"
  eval "engine_s=\$${work}_engine rsync_s=\$${work}_rsync"
  name=$([ $work = update ] && echo "nothing changed" || echo "first copy")
  printf '%-16s %8s %8s %6s | %8s %8s %6s | %8s %8s\n' "$name" "$ours" "$cp" "$(ratio "$ours" "$cp")" \
    "$ours_cpu" "$cp_cpu" "$(ratio "$ours_cpu" "$cp_cpu")" "$engine_s" "$rsync_s"
done
