#!/bin/sh
# The desktop entry passes desktop-file-validate without an error, a warning
# or a hint. Usage: desktop_test.sh ENTRY. Exits 77 (skipped) when
# desktop-file-validate is missing.
set -u
entry=$1
if ! command -v desktop-file-validate >/dev/null 2>&1; then
  echo "SKIP: desktop-file-validate is not installed (Debian package desktop-file-utils)"
  exit 77
fi
if ! out=$(desktop-file-validate "$entry" 2>&1) || [ -n "$out" ]; then
  echo "FAIL: $out"
  exit 1
fi
echo "desktop entry: valid"
