# Shared by the benchmark scripts: the Release build, the scratch folder and
# the median. Source it with the script's arguments: `. common.sh "$@"`.
# Sets: top, build, scratch (removed at exit when the script made it).

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BENCH_BUILD_DIR:-$top/build-bench}

"$top/scripts/deps.sh" rsync time strace
BUILD_DIR=$build "$top/scripts/build.sh" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF

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
