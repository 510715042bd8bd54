#!/usr/bin/env bash
# Configures and builds the project into BUILD_DIR (default: build).
# Usage: scripts/build.sh [CMAKE-OPTION ...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}

cmake -S "$top" -B "$build" "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
