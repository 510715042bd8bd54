#!/usr/bin/env bash
# How a run's cost grows with the tree: batch mode against cp and rsync on
# trees of SIZES files (default "10000 100000"; add 1000000 for the full
# step, see below), 50 files a folder, 0-4 KiB each. For each size and
# tool: a first copy into an empty destination and a run where nothing
# changed (caches warm), the median time per file in microseconds and the
# peak memory (maximum resident set) of the run, and the growth of both
# from the smallest size. A first copy is timed twice in the same run: when
# the tool ends, and when a sync after it ends ("first copy, on disk"). The
# kernel lets a few GiB of new data wait in memory before writers must wait
# for the disk, so a small copy ends long before its data are written and a
# large one does not; on disk, every size pays for its writes.
#
#   bench/scale.sh [SCRATCH-FOLDER]
#   SIZES="10000 100000 1000000" bench/scale.sh /some/roomy/folder
#
# Nothing is removed until the end: on ext4 (here at least), files made
# within a minute or more of a large removal take many times longer to make
# (the file system passes over the numbers of the files just removed), which
# would time the removal rather than the copy. A million files take about
# 4 GiB for the tree and as much again for each copy, and the whole step the
# better part of an hour on two cores; the script checks the room first.
# Runs: RUNS (default 3) up to 100,000 files, RUNS_LARGE (default 1) above.
set -euo pipefail
. "$(dirname "$0")/common.sh" "$@"
sizes=${SIZES:-10000 100000}
runs_small=${RUNS:-3}
runs_large=${RUNS_LARGE:-1}

export program=$build/bin/vestrelle
export scratch
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export XDG_CONFIG_HOME=$scratch/config

need_kib=1048576
for files in $sizes; do
  runs=$([ "$files" -gt 100000 ] && echo "$runs_large" || echo "$runs_small")
  need_kib=$((need_kib + files * 5 * (1 + 3 * runs)))
done
free_kib=$(df -Pk "$scratch" | awk 'NR == 2 { print $4 }')
if [ "$free_kib" -lt "$need_kib" ]; then
  echo "bench/scale.sh: $sizes files need about $((need_kib / 1048576)) GiB in $scratch, $((free_kib / 1048576)) GiB free" >&2
  exit 1
fi

copyset() {
  printf 'cmbSrc\t%s\r\ncmbDst\t%s\r\nchkSubDir\t1\r\nchkIgn\t0\r\neditIgn\t\r\nchkMakeDir\t0\r\nchkFilter\t0\r\n' \
    "$2" "$3" >"$scratch/$1.vstl"
}

# measure CMD: runs the shell command CMD and prints its elapsed seconds,
# its peak memory in KiB and the seconds until a sync after it has ended.
measure() {
  local start end synced
  start=$(date +%s%N)
  command time -f "%M" -o "$scratch/rss.txt" sh -c "$1" >/dev/null 2>&1
  end=$(date +%s%N)
  sync
  synced=$(date +%s%N)
  echo "$(echo "scale=4; ($end - $start) / 1000000000" | bc) $(tail -n 1 "$scratch/rss.txt")" \
    "$(echo "scale=4; ($synced - $start) / 1000000000" | bc)"
}

# median_of RUNS PREPARE CMD: the median seconds, the largest peak memory and
# the median seconds until synced of RUNS runs of CMD, each after PREPARE
# (not timed, with the run's number in i) and a sync.
median_of() {
  local runs=$1 prepare=$2 cmd=$3 i
  : >"$scratch/runs.txt"
  for ((i = 0; i < runs; i++)); do
    eval "$prepare"
    sync
    measure "$cmd" >>"$scratch/runs.txt"
  done
  echo "$(cut -d' ' -f1 "$scratch/runs.txt" | median) $(cut -d' ' -f2 "$scratch/runs.txt" | sort -n | tail -n 1)" \
    "$(cut -d' ' -f3 "$scratch/runs.txt" | median)"
}

declare -A seconds peak
tools=(batch cp rsync)
for files in $sizes; do
  runs=$([ "$files" -gt 100000 ] && echo "$runs_large" || echo "$runs_small")
  export tree=$scratch/tree-$files
  echo "making $files files..."
  "$build/bin/make_tree" "$tree" "$files" $((files / 50)) 42 4096
  declare -A copy_cmd=(
    [batch]='"$program" -f "$scratch/job.vstl" -l "$scratch/job.log"'
    [cp]='cp -r --preserve=timestamps "$tree" "$dst"'
    [rsync]='rsync -rt "$tree/" "$dst/"')
  declare -A same_cmd=(
    [batch]='"$program" -f "$scratch/job.vstl" -l "$scratch/job.log"'
    [cp]='cp -ru --preserve=timestamps "$tree/." "$dst/"'
    [rsync]='rsync -rtu "$tree/" "$dst/"')
  for tool in "${tools[@]}"; do
    echo "  $tool, first copy..."
    # Each run into a new destination, kept until the end (see above).
    read -r s m d < <(median_of "$runs" 'export dst=$scratch/copy-$files-$tool-$i; copyset job "$tree" "$dst"' \
      "${copy_cmd[$tool]}")
    seconds[copy,$tool,$files]=$s peak[copy,$tool,$files]=$m
    seconds[disk,$tool,$files]=$d peak[disk,$tool,$files]=$m
    # The first copy made is current: nothing changes in the runs that follow.
    echo "  $tool, nothing changed..."
    export dst=$scratch/copy-$files-$tool-0
    copyset job "$tree" "$dst"
    read -r s m _ < <(median_of "$runs" : "${same_cmd[$tool]}")
    seconds[same,$tool,$files]=$s peak[same,$tool,$files]=$m
  done
  grep -q 'コピーが終了しました' "$scratch/job.log" || { tail -n 5 "$scratch/job.log"; exit 1; }
done
echo "removing the trees..."
rm -rf "$scratch"/tree-* "$scratch"/copy-*

smallest=$(printf '%s\n' $sizes | sort -n | head -n 1)
echo
echo "microseconds per file (median) and peak memory (KiB); growth = at this size / at $smallest files"
printf '%-16s %-6s %9s | %9s %9s %9s | %9s %9s\n' "work" "tool" "files" "us/file" "growth" "seconds" \
  "peak KiB" "growth"
for work in same copy disk; do
  case $work in
    same) name="nothing changed" ;;
    copy) name="first copy" ;;
    disk) name="copy on disk" ;;
  esac
  for tool in "${tools[@]}"; do
    base_us=$(echo "scale=3; ${seconds[$work,$tool,$smallest]} * 1000000 / $smallest" | bc)
    for files in $sizes; do
      us=$(echo "scale=3; ${seconds[$work,$tool,$files]} * 1000000 / $files" | bc)
      printf '%-16s %-6s %9s | %9s %9s %9s | %9s %9s\n' "$name" "$tool" "$files" "$us" "$(ratio "$us" "$base_us")" \
        "${seconds[$work,$tool,$files]}" "${peak[$work,$tool,$files]}" \
        "$(ratio "${peak[$work,$tool,$files]}" "${peak[$work,$tool,$smallest]}")"
    done
  done
done
echo "goal (batch): time per file within 1.3 x and peak memory within 2 x of the $smallest-file run"
