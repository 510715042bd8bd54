#!/bin/sh
# The AppStream description made by the build passes appstreamcli's
# validation, and its release is the newest entry of the Debian changelog:
# the same version, which must be the project's, and the same date.
# Usage: metainfo_test.sh METAINFO CHANGELOG VERSION
set -u
metainfo=$1
changelog=$2
version=$3
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

out=$(appstreamcli validate --no-net --no-color "$metainfo" 2>&1) || fail "appstreamcli validate: $out"

changelog_version=$(dpkg-parsechangelog -l "$changelog" -S Version)
[ "$changelog_version" = "$version" ] \
  || fail "the newest changelog entry is for $changelog_version, the project's version is $version"
changelog_date=$(date -u -d "$(dpkg-parsechangelog -l "$changelog" -S Date)" +%Y-%m-%d)
grep -q "<release version=\"$version\" date=\"$changelog_date\"/>" "$metainfo" \
  || fail "the metainfo's release is not version $version of $changelog_date: $(grep '<release ' "$metainfo")"

[ $failures -eq 0 ] && echo "metainfo: valid, release $version of $changelog_date"
[ $failures -eq 0 ]
