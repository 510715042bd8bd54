#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}

"$top/scripts/deps.sh"
BUILD_DIR=$build "$top/scripts/build.sh" -DBUILD_TESTING=ON
cd "$build"
ctest --output-on-failure -j "$(nproc)"
