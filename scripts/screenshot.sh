#!/usr/bin/env bash
# Renders the main window offscreen into a PNG file (default: build/mainwindow.png).
# Usage: scripts/screenshot.sh [--font-size PT] [OUT.png [WIDTH HEIGHT] | --all FOLDER]
# QT_QPA_PLATFORM=xcb renders on the display instead (for one of a given size,
# run it under xvfb-run; QT_SCALE_FACTOR=2 then shows a high-DPI screen).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
font=()
if [ "${1:-}" = --font-size ]; then
  font=(--font-size "$2")
  shift 2
fi
out=${1:-$build/mainwindow.png}

"$top/scripts/deps.sh"
BUILD_DIR=$build "$top/scripts/build.sh"
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bin/vestrelle_screenshot" "${font[@]}" "$out" "${@:2}"
echo "$out"
