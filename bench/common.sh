# Shared by the benchmark scripts: the Release build, the scratch folder and
# the median. Source it with the script's arguments: `. common.sh "$@"`.
# Sets: top, build, scratch (removed at exit when the script made it).

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BENCH_BUILD_DIR:-$top/build-bench}

"$top/scripts/deps.sh" rsync time strace bc
# BENCH_NO_BUILD=1 takes the build in BENCH_BUILD_DIR as it stands.
if [ -z "${BENCH_NO_BUILD:-}" ]; then
  BUILD_DIR=$build "$top/scripts/build.sh" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
fi

if [ $# -ge 1 ]; then
  scratch=$1
  mkdir -p "$scratch"
else
  scratch=$(mktemp -d "${TMPDIR:-/tmp}/vestrelle-bench-XXXXXX")
  trap 'rm -rf "$scratch"' EXIT
fi
echo "machine: $(nproc) cores, $(df -T "$scratch" | awk 'NR==2 {print $2}') at $scratch"

# median: the median of the numbers on standard input, one a line.
median() {
  sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# seconds CMD: runs the shell command CMD with its output discarded and prints
# the elapsed seconds and the processor seconds (user + system) it used.
seconds() {
  local start end cpu
  start=$(date +%s%N)
  command time -f "%U %S" -o "$scratch/cpu.txt" sh -c "$1" >/dev/null 2>&1
  end=$(date +%s%N)
  cpu=$(awk '{ print $1 + $2 }' "$scratch/cpu.txt")
  echo "$(echo "scale=4; ($end - $start) / 1000000000" | bc) $cpu"
}

# interleave RUNS PREPARE CMD...: runs every CMD RUNS times, the order rotating
# from one round to the next so that none always follows another, each after
# PREPARE and a sync (neither timed); prints, for each CMD, the median elapsed
# seconds and the median processor seconds, all on one line.
interleave() {
  local runs=$1 prepare=$2
  shift 2
  local n=$# i j k
  local cmds=("$@") times=()
  for ((k = 0; k < n; k++)); do times+=("$(mktemp)"); done
  for ((i = 0; i < runs; i++)); do
    for ((j = 0; j < n; j++)); do
      k=$(((i + j) % n))
      eval "$prepare"
      sync
      seconds "${cmds[k]}" >>"${times[k]}"
    done
  done
  for ((k = 0; k < n; k++)); do
    cut -d' ' -f1 "${times[k]}" | median
    cut -d' ' -f2 "${times[k]}" | median
    rm -f "${times[k]}"
  done | paste -sd' '
}

ratio() { echo "scale=3; $1 / $2" | bc; }
