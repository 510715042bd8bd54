#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang and runs each for
# FUZZ_SECONDS (default 60) on a copy of its seed corpus, in FUZZ_BUILD_DIR
# (default: build-fuzz). Crashing inputs land in that folder's artifacts/;
# the script fails when any target found one.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$top/build-fuzz}
seconds=${FUZZ_SECONDS:-60}

"$top/scripts/deps.sh" clang libclang-rt-14-dev
CC=clang CXX=clang++ cmake -S "$top/fuzz" -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)"

mkdir -p "$build/artifacts"
failed=()
for name in copyset history; do
  # The runs add to the corpus; the repository's seeds stay as they are.
  corpus=$build/corpus/$name
  mkdir -p "$corpus"
  cp "$top/fuzz/corpus/$name/"* "$corpus/"
  echo "== fuzz_$name for ${seconds}s"
  if ! "$build/fuzz_$name" "$corpus" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$name-"; then
    failed+=("fuzz_$name")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "Crashes found by: ${failed[*]} (inputs in $build/artifacts/)" >&2
  exit 1
fi
