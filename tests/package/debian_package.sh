#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package with CPack and checks it as a distribution would: its name,
# control fields and dependencies, exactly the listed files, and no lintian error.
set -euo pipefail
BUILD_DIR=${1:?usage: $0 BUILD_DIR VERSION}
VERSION=${2:?usage: $0 BUILD_DIR VERSION}
LIST="$(dirname "$0")/../install/installed-files.txt"
OUT=$(mktemp -d /tmp/orvantis-package.XXXXXX)
trap 'rm -rf "$OUT"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$BUILD_DIR/CPackConfig.cmake" -B "$OUT" >"$OUT/cpack.log" 2>&1 ||
    { cat "$OUT/cpack.log" >&2; fail "cpack failed"; }
deb="$OUT/orvantis_${VERSION}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $(basename "$deb"): $(ls "$OUT")"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = orvantis ] || fail "package name $(field Package)"
[ "$(field Version)" = "$VERSION" ] || fail "version $(field Version), not $VERSION"
for name in Maintainer Description Section Homepage; do
    [ -n "$(field "$name")" ] || fail "the $name field is empty"
done
# Worked out from the binaries, so every library they link is there.
depends=$(field Depends)
for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libcurl4 libpng16-16; do
    [[ ", $depends," == *", $library ("* ]] || fail "Depends lacks $library: $depends"
done

diff -u <(grep -v '^#' "$LIST") \
    <(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | LC_ALL=C sort) ||
    fail "the package's files differ from $LIST (- expected, + packaged)"

lintian --fail-on error "$deb" ||
    fail "lintian reports errors"
echo "1 passed, 0 failed"
