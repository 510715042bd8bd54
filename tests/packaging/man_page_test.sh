#!/bin/sh
# The manual page renders without a single warning, the way man-db renders it
# (groff with preconv for the Japanese text), and its NAME line is one that
# whatis and apropos can read.
# Usage: man_page_test.sh PAGE. Exits 77 (skipped) when groff is missing.
set -u
page=$1
if ! command -v groff >/dev/null 2>&1; then
  echo "SKIP: groff is not installed (Debian package groff-base)"
  exit 77
fi
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

warnings=$(groff -k -man -Tutf8 -ww -z "$page" 2>&1) || fail "groff failed: $warnings"
[ -z "$warnings" ] || fail "groff warns: $warnings"

if command -v man >/dev/null 2>&1; then
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) || fail "man -l failed: $warnings"
  [ -z "$warnings" ] || fail "man -l warns: $warnings"
fi
if command -v lexgrog >/dev/null 2>&1; then
  whatis=$(lexgrog "$page" 2>&1)
  case $whatis in
  *': "vestrelle - '*) ;;
  *) fail "whatis cannot read the NAME line: $whatis" ;;
  esac
fi

[ $failures -eq 0 ] && echo "manual page: renders without warnings"
[ $failures -eq 0 ]
