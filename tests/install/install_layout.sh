#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the build into a staging folder: exactly the listed files, a launcher and
# metadata that the desktop's own checkers accept, a manual page for every program,
# manual pages that render without a warning, and systemd units that systemd accepts.
set -euo pipefail
BUILD_DIR=${1:?usage: $0 BUILD_DIR}
LIST="$(dirname "$0")/installed-files.txt"
STAGE=$(mktemp -d /tmp/orvantis-install.XXXXXX)
trap 'rm -rf "$STAGE"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$STAGE" cmake --install "$BUILD_DIR" --prefix /usr >/dev/null
diff -u <(awk '!/^#/ { print $2 }' "$LIST") <(cd "$STAGE" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort) ||
    fail "the installed files differ from $LIST (- expected, + installed)"

share="$STAGE/usr/share"
desktop-file-validate "$share/applications/com.tamberlo.Orvantis.desktop" ||
    fail "desktop-file-validate rejects the launcher"
appstreamcli validate --no-net --explain "$share/metainfo/com.tamberlo.Orvantis.metainfo.xml" ||
    fail "appstreamcli rejects the metadata"

for program in "$STAGE"/usr/bin/*; do
    page="$share/man/man1/$(basename "$program").1.gz"
    [ -f "$page" ] || fail "no manual page for $(basename "$program")"
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$(basename "$page") renders with warnings: $warnings"
done
for unit in "$STAGE"/usr/lib/systemd/system/*.service; do
    # The unit names the program where the build's prefix puts it: point it at the stage.
    copy="$STAGE/$(basename "$unit")"
    sed "s|^ExecStart=[^ ]*/bin/|ExecStart=$STAGE/usr/bin/|" "$unit" >"$copy"
    errors=$(systemd-analyze verify --man=no "$copy" 2>&1) ||
        fail "systemd-analyze rejects $(basename "$unit"): $errors"
    [ -z "$errors" ] || fail "systemd-analyze warns about $(basename "$unit"): $errors"
done
echo "1 passed, 0 failed"
