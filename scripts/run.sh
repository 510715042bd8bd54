#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program: an update run on a
# small demonstration tree, printing what it copied, then a second run after
# one file has changed.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}

"$top/scripts/deps.sh"
BUILD_DIR=$build "$top/scripts/build.sh"

demo=$(mktemp -d "${TMPDIR:-/tmp}/vestrelle-demo-XXXXXX")
"$build/bin/make_tree" "$demo/source" 24 4 7 4096
echo "== First run: $demo/source -> $demo/destination"
"$build/bin/engine_run" "$demo/source" "$demo/destination" --list
echo "== One file changed, second run"
touch "$demo/source/d01/f000001.txt"
"$build/bin/engine_run" "$demo/source" "$demo/destination" --list
echo "== The demonstration folders are in $demo"
