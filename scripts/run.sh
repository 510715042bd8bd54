#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
# Without a display (no DISPLAY or WAYLAND_DISPLAY) the window cannot be
# shown: the script then renders it offscreen into build/mainwindow.png.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}

"$top/scripts/deps.sh"
BUILD_DIR=$build "$top/scripts/build.sh"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display here: rendering the main window into $build/mainwindow.png instead."
  QT_QPA_PLATFORM=offscreen "$build/bin/vestrelle_screenshot" "$build/mainwindow.png"
  exit 0
fi
exec "$build/bin/vestrelle" "$@"
