#!/bin/sh
# `cmake --install` of the build into a temporary DESTDIR with the prefix
# /usr, then every check of packaging/check_install.sh on what landed there,
# the installed program's batch run included.
# Usage: install_test.sh CMAKE BUILD-DIR CHECK-SCRIPT
set -u
cmake=$1
build=$2
check=$3
root=$(mktemp -d "${TMPDIR:-/tmp}/vestrelle-install-XXXXXX")
trap 'rm -rf "$root"' EXIT

if ! DESTDIR=$root "$cmake" --install "$build" --prefix /usr >"$root/install.log" 2>&1; then
  echo "FAIL: cmake --install failed:"
  cat "$root/install.log"
  exit 1
fi
bash "$check" "$root" /usr
