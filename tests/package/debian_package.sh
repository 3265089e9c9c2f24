#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian packages with one CPack run and checks each as a distribution would:
# its name, control fields and dependencies, exactly the files listed for it, and no
# lintian error.
set -euo pipefail
BUILD_DIR=${1:?usage: $0 BUILD_DIR VERSION}
VERSION=${2:?usage: $0 BUILD_DIR VERSION}
LIST="$(dirname "$0")/../install/installed-files.txt"
OUT=$(mktemp -d /tmp/orvantis-package.XXXXXX)
trap 'rm -rf "$OUT"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$BUILD_DIR/CPackConfig.cmake" -B "$OUT" >"$OUT/cpack.log" 2>&1 ||
    { cat "$OUT/cpack.log" >&2; fail "cpack failed"; }

# check_package NAME LIBRARIES...: one package of the run, with the libraries its
# binaries link among its dependencies.
check_package() {
    local package=$1 deb depends library name
    shift
    deb="$OUT/${package}_${VERSION}_$(dpkg --print-architecture).deb"
    [ -f "$deb" ] || fail "no $(basename "$deb"): $(ls "$OUT")"
    field() { dpkg-deb --field "$deb" "$1"; }
    [ "$(field Package)" = "$package" ] || fail "package name $(field Package)"
    [ "$(field Version)" = "$VERSION" ] || fail "$package: version $(field Version), not $VERSION"
    for name in Maintainer Description Section Homepage; do
        [ -n "$(field "$name")" ] || fail "$package: the $name field is empty"
    done
    # Worked out from the binaries, so every library they link is there.
    depends=$(field Depends)
    for library in "$@"; do
        [[ ", $depends," == *", $library ("* ]] || fail "$package: Depends lacks $library: $depends"
    done
    diff -u <(awk -v p="$package" '$1 == p { print $2 }' "$LIST") \
        <(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | LC_ALL=C sort) ||
        fail "the files of $package differ from $LIST (- expected, + packaged)"
    lintian --fail-on error "$deb" || fail "lintian reports errors in $package"
}

check_package orvantis libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libcurl4 libpng16-16
check_package orvantis-server libc6 libstdc++6 libcurl4 libpng16-16
server_depends=$(dpkg-deb --field "$OUT/orvantis-server_${VERSION}_$(dpkg --print-architecture).deb" Depends)
[[ $server_depends != *httplib* ]] || fail "orvantis-server depends on an HTTP library of its own: $server_depends"
[ "$(ls "$OUT"/*.deb | wc -l)" = 2 ] || fail "one cpack run made other packages: $(ls "$OUT")"
echo "1 passed, 0 failed"
