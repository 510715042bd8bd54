#!/usr/bin/env bash
# Builds the Debian package and checks it: installs what is missing, builds
# Release with Debian's hardening flags into PACKAGE_BUILD_DIR (default:
# build-package), runs cpack, then checks the package with lintian, its
# ELF files with hardening-check, and, unpacked into a scratch folder, what it
# holds and that the program in it runs a copy set in batch mode without a
# display. Prints the package's path; exits non-zero when any step or check
# fails (lintian: on errors; its warnings are shown).
# Usage: scripts/package.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PACKAGE_BUILD_DIR:-$top/build-package}

# dpkg-dev and file for the build flags and cpack's dependency computation
# (dpkg-shlibdeps); devscripts for hardening-check; the rest for the checks.
"$top/scripts/deps.sh" dpkg-dev file devscripts lintian appstream desktop-file-utils groff-base man-db \
  shared-mime-info libxml2-utils

# The distribution's build flags with every hardening feature it knows:
# fortified C library calls, strong stack protector, full RELRO with
# immediate binding, position-independent code. Asked for in the source
# folder, whose path they map away. CMake has no CPPFLAGS of its own, so they
# go in front of the compile flags.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
buildflag() { (cd "$top" && dpkg-buildflags --get "$1"); }
cppflags=$(buildflag CPPFLAGS)
ldflags=$(buildflag LDFLAGS)
BUILD_DIR=$build "$top/scripts/build.sh" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_C_FLAGS="$cppflags $(buildflag CFLAGS)" -DCMAKE_CXX_FLAGS="$cppflags $(buildflag CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" -DCMAKE_MODULE_LINKER_FLAGS="$ldflags"
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >"$build/cpack.log" 2>&1) || {
  cat "$build/cpack.log" >&2
  echo "cpack failed" >&2
  exit 1
}
debs=("$build"/*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "cpack made no single .deb in $build" >&2
  exit 1
fi
deb=${debs[0]}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vestrelle-package-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# The control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vestrelle ] || fail "Package is '$(field Package)'"
[ "$(field Maintainer)" = "Quorvane <support@quorvane.example>" ] || fail "Maintainer is '$(field Maintainer)'"
[ "$(field Section)" = utils ] || fail "Section is '$(field Section)'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
for needed in libc6 libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins; do
  [[ ",$depends," =~ [,\ ]$needed[\ ,] ]] || fail "Depends lacks $needed: $depends"
done
[[ $depends == *qvutil* ]] && fail "Depends names the package's own libqvutil: $depends"

# Nothing outside /usr, everything owned by root, no file writable by others.
dpkg-deb -c "$deb" >"$scratch/contents.txt"
awk '$2 != "root/root" { print }' "$scratch/contents.txt" | grep -q . && fail "files not owned by root: $(awk '$2 != "root/root"' "$scratch/contents.txt")"
awk '{ print $6 }' "$scratch/contents.txt" | grep -v '^\./usr/' | grep -vx '\./' | grep -q . \
  && fail "files outside /usr: $(awk '{ print $6 }' "$scratch/contents.txt" | grep -v '^\./usr/' | grep -vx '\./')"
awk 'substr($1, 9, 1) == "w" && substr($1, 1, 1) != "l" { print }' "$scratch/contents.txt" | grep -q . \
  && fail "files writable by everyone: $(awk 'substr($1, 9, 1) == "w" && substr($1, 1, 1) != "l"' "$scratch/contents.txt")"

# apt would accept it here: its dependencies can be met.
if ! apt-get install --simulate --no-install-recommends "$deb" >"$scratch/apt.txt" 2>&1; then
  fail "apt-get cannot install the package: $(tail -n 5 "$scratch/apt.txt")"
fi

# What Debian's own checker says of it: any error fails, warnings are shown.
if ! lintian --fail-on error "$deb" >"$scratch/lintian.txt" 2>&1; then
  fail "lintian reports errors:"$'\n'"$(cat "$scratch/lintian.txt")"
elif [ -s "$scratch/lintian.txt" ]; then
  echo "lintian:"
  sed 's/^/  /' "$scratch/lintian.txt"
fi

# The files and the program, unpacked as dpkg would install them.
dpkg-deb -x "$deb" "$scratch/root"
CHECK_STRICT=1 bash "$top/packaging/check_install.sh" "$scratch/root" /usr || failures=$((failures + 1))

# The ELF files built with the hardening flags above. hardening-check also
# looks for control-flow protection, which the flags give only from dpkg 1.22
# on (not on Debian 12): it checks that only where they give it.
enabled=$(dpkg-buildflags --query-features hardening | awk '/^Feature:/ { feature = $2 } /^Enabled: yes/ { print feature }')
unchecked=()
grep -qx cfprotection <<<"$enabled" || unchecked+=(--nocfprotection)
elves=("$scratch"/root/usr/lib/*/vestrelle/vestrelle "$scratch"/root/usr/lib/*/vestrelle/libqvutil.so
  "$scratch"/root/usr/lib/*/vestrelle/libvestrelle-window.so)
hardening-check "${unchecked[@]}" "${elves[@]}" >"$scratch/hardening.txt" 2>&1 \
  || fail "hardening-check:"$'\n'"$(cat "$scratch/hardening.txt")"

echo
echo "package: $deb ($(du -k "$deb" | cut -f1) KiB)"
echo "depends: $depends"
sed -n 's|.* \./usr/|/usr/|p' "$scratch/contents.txt" | grep -v '/$' | sed 's/^/  /'
if [ $failures -ne 0 ]; then
  echo "the package failed $failures check(s)" >&2
  exit 1
fi
echo "the package passed every check"
