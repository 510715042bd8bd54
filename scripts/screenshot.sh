#!/usr/bin/env bash
# Renders the main window offscreen into a PNG file (default: build/mainwindow.png).
# Usage: scripts/screenshot.sh [OUT.png] [WIDTH HEIGHT]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
out=${1:-$build/mainwindow.png}

"$top/scripts/deps.sh"
BUILD_DIR=$build "$top/scripts/build.sh"
QT_QPA_PLATFORM=offscreen "$build/bin/vestrelle_screenshot" "$out" "${@:2}"
echo "$out"
