#!/usr/bin/env bash
# One sparse file of several GiB (a few data extents, holes between them and
# at the end) copied by the engine (bench/engine_run) and by cp, which keeps
# holes by itself (--sparse=auto), in one invocation: the median times, their
# ratio, the room each copy takes (du) and a check that both copies read the
# same as the source.
#
#   bench/sparse.sh [SCRATCH-FOLDER]
#
# SPARSE_GIB sets the file's length (default 4), RUNS_SPARSE the runs of each
# tool (default 5).
set -euo pipefail
. "$(dirname "$0")/common.sh" "$@"
runs=${RUNS_SPARSE:-5}
gib=${SPARSE_GIB:-4}

export engine=$build/bin/engine_run
export scratch
source_file=$scratch/sparse/big.img
echo "making a ${gib} GiB file with four 8 MiB data extents..."
rm -rf "$scratch/sparse" && mkdir -p "$scratch/sparse"
truncate -s "${gib}G" "$source_file"
for at in 0 $((gib * 256)) $((gib * 512)) $((gib * 768)); do
  dd if=/dev/urandom of="$source_file" bs=1M count=8 seek="$at" conv=notrunc status=none
done

read -r ours ours_cpu theirs theirs_cpu < <(interleave "$runs" 'rm -rf "$scratch/by-engine" "$scratch/by-cp"; mkdir -p "$scratch/by-cp"' \
  '"$engine" "$scratch/sparse" "$scratch/by-engine"' \
  'cp --preserve=timestamps "$scratch/sparse/big.img" "$scratch/by-cp/big.img"')

# Once more each, to look at what they made.
rm -rf "$scratch/by-engine" "$scratch/by-cp" && mkdir -p "$scratch/by-cp"
"$engine" "$scratch/sparse" "$scratch/by-engine" >/dev/null
cp --preserve=timestamps "$source_file" "$scratch/by-cp/big.img"
same=identical
cmp -s "$source_file" "$scratch/by-engine/big.img" || same="ENGINE COPY DIFFERS"
cmp -s "$source_file" "$scratch/by-cp/big.img" || same="$same, CP COPY DIFFERS"
room() { du -k "$1" | cut -f1; }

echo
echo "one ${gib} GiB sparse file; median of $runs runs; cpu = user + system seconds"
printf '%-8s %8s %8s %12s\n' "tool" "seconds" "cpu" "du KiB"
printf '%-8s %8s %8s %12s\n' "engine" "$ours" "$ours_cpu" "$(room "$scratch/by-engine/big.img")"
printf '%-8s %8s %8s %12s\n' "cp" "$theirs" "$theirs_cpu" "$(room "$scratch/by-cp/big.img")"
echo "ratio engine / cp: $(ratio "$ours" "$theirs"); source takes $(room "$source_file") KiB; contents: $same"
rm -rf "$scratch/sparse" "$scratch/by-engine" "$scratch/by-cp"
[ "$same" = identical ]
