#!/usr/bin/env bash
# Checks an installed Vestrelle under ROOT (a DESTDIR, or a Debian package
# unpacked with dpkg-deb -x): every file where the desktop and the program
# look for it, and the program itself, started through its link in bin/,
# running a small copy set in batch mode without a display.
#
#   packaging/check_install.sh ROOT [PREFIX]      (PREFIX defaults to /usr)
#
# Optional tools (desktop-file-validate, appstreamcli, xmllint,
# update-mime-database, groff, readelf) are used when present; with
# CHECK_STRICT=1 a missing one is a failure. Prints one line per failure and exits 1 when there was any.
set -u
root=$(cd "${1:?usage: check_install.sh ROOT [PREFIX]}" && pwd -P)
prefix=${2:-/usr}
top=$root$prefix
strict=${CHECK_STRICT:-0}
sizes="16 24 32 48 64 128 256"
mime_type=application/x-vestrelle-copyset

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# have TOOL: whether TOOL can be run; a missing tool is a failure when strict.
have() {
  command -v "$1" >/dev/null 2>&1 && return 0
  if [ "$strict" = 1 ]; then fail "$1 is not installed"; else echo "note: $1 is not installed, its check is left out"; fi
  return 1
}

work=$(mktemp -d "${TMPDIR:-/tmp}/vestrelle-check-XXXXXX")
trap 'rm -rf "$work"' EXIT

# The program: a relative link in bin/ to the real file in a private folder,
# with libqvutil beside it.
link=$top/bin/vestrelle
program=
if [ ! -L "$link" ]; then
  fail "$link is not a symbolic link"
else
  case $(readlink "$link") in
  /*) fail "$link points to an absolute path ($(readlink "$link")), which breaks under a DESTDIR" ;;
  esac
  program=$(readlink -f "$link")
  case $program in
  "$top"/lib*/vestrelle/vestrelle) ;;
  *) fail "$link leads to $program, not to PREFIX/lib.../vestrelle/vestrelle" ;;
  esac
  [ -f "$program" ] && [ -x "$program" ] || fail "the program $program is not an executable file"
fi
private=$(dirname "${program:-/nonexistent/x}")
library=$private/libqvutil.so
[ -f "$library" ] || fail "libqvutil.so is not beside the program ($private)"
window=$private/libvestrelle-window.so
[ -f "$window" ] || fail "libvestrelle-window.so is not beside the program ($private)"
if [ -f "$window" ] && [ -n "$program" ] && have readelf; then
  readelf -d "$program" | grep -q 'NEEDED.*Widgets' && fail "the program is linked with Qt's widgets; only its window module should be"
  readelf --dyn-syms -W "$window" | grep -q ' vestrelleWindowMain$' || fail "libvestrelle-window.so does not export vestrelleWindowMain"
fi
if [ -f "$library" ] && [ -n "$program" ] && have readelf; then
  readelf -d "$program" | grep -q 'NEEDED.*libqvutil' && fail "the program is linked with libqvutil; it should load it at run time"
  readelf -d "$program" "$library" | grep -Eq 'RPATH|RUNPATH' && fail "an installed ELF file carries an RPATH"
  readelf --dyn-syms -W "$library" | grep -q ' qvuCopyFile$' || fail "libqvutil.so does not export qvuCopyFile"
fi

# The desktop entry, its icon and its file type.
desktop=$top/share/applications/vestrelle.desktop
if [ ! -f "$desktop" ]; then
  fail "no desktop entry $desktop"
else
  if have desktop-file-validate; then
    out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
    [ -z "$out" ] || fail "desktop-file-validate: $out"
  fi
  exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  [ "$exec_program" = vestrelle ] || fail "the desktop entry starts '$exec_program', not the program in bin/"
  # A file manager opening a .vstl passes it on; the program opens it in its window.
  grep -qx 'Exec=vestrelle %f' "$desktop" || fail "the desktop entry does not pass the opened file: $(grep '^Exec=' "$desktop")"
  grep -qx 'Icon=vestrelle' "$desktop" || fail "the desktop entry does not use the icon vestrelle"
  grep -qx "MimeType=$mime_type;" "$desktop" || fail "the desktop entry does not claim $mime_type"
fi

mime=$top/share/mime/packages/vestrelle.xml
if [ ! -f "$mime" ]; then
  fail "no file type description $mime"
else
  if have xmllint; then
    xmllint --noout "$mime" 2>"$work/xmllint.txt" || fail "xmllint: $(cat "$work/xmllint.txt")"
  fi
  # The database the desktop would build from it: *.vstl is the type, with
  # its icon and its English and Japanese names.
  if have update-mime-database; then
    mkdir -p "$work/mime/packages"
    cp "$mime" "$work/mime/packages/"
    if ! update-mime-database "$work/mime" >"$work/umd.txt" 2>&1; then
      fail "update-mime-database: $(cat "$work/umd.txt")"
    else
      grep -q "^[0-9]*:$mime_type:\*\.vstl$" "$work/mime/globs2" || fail "*.vstl does not map to $mime_type"
      grep -qx "$mime_type:${mime_type/\//-}" "$work/mime/icons" || fail "$mime_type has no icon of its own"
      grep -q '<comment xml:lang="ja">' "$work/mime/${mime_type}.xml" || fail "$mime_type has no Japanese name"
    fi
  fi
fi

# The software centre's description: valid, and naming the desktop entry and
# the file type installed beside it.
metainfo=$top/share/metainfo/com.quorvane.vestrelle.metainfo.xml
if [ ! -f "$metainfo" ]; then
  fail "no AppStream description $metainfo"
else
  if have appstreamcli; then
    out=$(appstreamcli validate --no-net --no-color "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
  fi
  launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
  [ -f "$top/share/applications/$launchable" ] || fail "the AppStream description launches '$launchable', which is not installed"
  grep -q "<mediatype>$mime_type</mediatype>" "$metainfo" || fail "the AppStream description does not provide $mime_type"
fi

# What Debian wants in the package's documentation folder, and the examples.
doc=$top/share/doc/vestrelle
head -n 1 "$doc/copyright" 2>/dev/null | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' \
  || fail "no machine-readable copyright file $doc/copyright"
gzip -t "$doc/changelog.gz" 2>/dev/null || fail "no compressed changelog $doc/changelog.gz"
for unit in vestrelle-nightly.service vestrelle-nightly.timer; do
  [ -f "$doc/examples/$unit" ] || fail "no example unit $doc/examples/$unit"
done

# png_size FILE: "WIDTHxHEIGHT" of a PNG file, from its header.
png_size() {
  local bytes
  bytes=$(od -An -tx1 -N24 "$1" | tr -d ' \n')
  [ "${bytes:0:16}" = 89504e470d0a1a0a ] || return 1
  echo "$((16#${bytes:32:8}))x$((16#${bytes:40:8}))"
}
for size in $sizes; do
  for icon in "apps/vestrelle.png" "mimetypes/${mime_type/\//-}.png"; do
    file=$top/share/icons/hicolor/${size}x${size}/$icon
    if [ ! -f "$file" ]; then
      fail "no icon $file"
    elif [ "$(png_size "$file")" != "${size}x${size}" ]; then
      fail "$file is not a ${size}x${size} PNG picture"
    fi
  done
done

man=$top/share/man/man1/vestrelle.1.gz
if [ ! -f "$man" ]; then
  fail "no manual page $man"
elif ! gzip -t "$man" 2>/dev/null; then
  fail "$man is not a gzip file"
elif have groff; then
  gzip -dc "$man" | groff -k -man -Tutf8 -ww -z 2>"$work/groff.txt" || fail "groff failed on the manual page"
  [ -s "$work/groff.txt" ] && fail "groff warns about the manual page: $(cat "$work/groff.txt")"
fi

# The program, started through bin/vestrelle as cron would start it: no
# display, settings of its own. It must find libqvutil beside the real file
# (the copy goes through it), copy, log, and say so with status 0.
if [ -n "$program" ] && [ -x "$program" ]; then
  mkdir -p "$work/src/写真" "$work/home"
  printf 'one\n' >"$work/src/a.txt"
  printf 'two\n' >"$work/src/写真/b.txt"
  touch -d '2024-05-01 12:00:00' "$work/src/a.txt"
  printf 'cmbSrc\t%s\r\ncmbDst\t%s\r\nchkSubDir\t1\r\nchkIgn\t0\r\nchkMakeDir\t0\r\nchkFilter\t0\r\n' \
    "$work/src" "$work/dst" >"$work/job.vstl"
  # batch ARG...: runs the installed program, its loader's record of the
  # files it opened in $work/ld.*.
  batch() {
    rm -f "$work"/ld.*
    (cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$work/home" \
      XDG_CONFIG_HOME="$work/home/.config" LD_LIBRARY_PATH= LD_DEBUG=files LD_DEBUG_OUTPUT="$work/ld" \
      "$link" "$@" >"$work/out.txt" 2>&1)
  }
  batch -f "$work/job.vstl" -l "$work/job.log"
  status=$?
  [ $status -eq 0 ] || fail "the batch run ended with status $status: $(cat "$work/out.txt")"
  cmp -s "$work/src/a.txt" "$work/dst/a.txt" || fail "the batch run did not copy a.txt"
  cmp -s "$work/src/写真/b.txt" "$work/dst/写真/b.txt" || fail "the batch run did not copy 写真/b.txt"
  [ "$(stat -c %Y "$work/dst/a.txt" 2>/dev/null)" = "$(stat -c %Y "$work/src/a.txt")" ] \
    || fail "the copy of a.txt did not get the source's modification time"
  cat "$work"/ld.* 2>/dev/null | grep -q "file=$library " \
    || fail "the program did not load $library (the loader opened: $(cat "$work"/ld.* 2>/dev/null | grep -o 'file=[^ ]*qvutil[^ ]*' | sort -u))"
  if [ ! -f "$work/job.log" ]; then
    fail "the batch run wrote no log"
  else
    head -n 1 "$work/job.log" | grep -q '^[0-9/]* [0-9:]* 処理開始'$'\r''$' || fail "the log does not start with a start line: $(head -n 1 "$work/job.log")"
    tail -n 1 "$work/job.log" | grep -q '^[0-9/]* [0-9:]* 処理終了'$'\r''$' || fail "the log does not end with an end line: $(tail -n 1 "$work/job.log")"
    grep -q " $work/dst/写真/b.txt"$'\r''$' "$work/job.log" || fail "the log does not name the copied 写真/b.txt"
    grep -q '検査ファイル数： 2 コピーした数： 2' "$work/job.log" || fail "the log has no summary of 2 files checked and copied"
  fi

  # A source that is not there copies nothing and says so with status 2.
  printf 'cmbSrc\t%s\r\ncmbDst\t%s\r\n' "$work/missing" "$work/dst2" >"$work/bad.vstl"
  batch -f "$work/bad.vstl" -l "$work/bad.log"
  status=$?
  [ $status -eq 2 ] || fail "a copy set with a missing source ended with status $status, not 2"
  [ ! -e "$work/dst2" ] || fail "a copy set with a missing source made its destination"
fi

if [ $failures -eq 0 ]; then
  echo "installed tree under $root$prefix: all checks passed"
  exit 0
fi
echo "installed tree under $root$prefix: $failures check(s) failed"
exit 1
