#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, builds everything and runs every test through CTest.
#   ./test.sh                      normal build, warnings are errors
#   SANITIZE=address ./test.sh     with address and undefined-behaviour sanitizers
#   SANITIZE=thread ./test.sh      with the thread sanitizer
set -euo pipefail
cd "$(dirname "$0")"
source scripts/deps.sh
orvantis_install_deps

preset=ci
case "${SANITIZE:-}" in
    "") ;;
    address) preset=asan ;;
    thread) preset=tsan ;;
    *) echo "SANITIZE must be address or thread" >&2; exit 2 ;;
esac

cmake --preset "$preset" -DORVANTIS_WERROR=ON >/dev/null
cmake --build --preset "$preset"
# The code is kept formatted; the check fails the run like a failing test.
cmake --build --preset "$preset" --target format-check
# The desktops' window-manager runs are heavy and test the windows, not memory or threads:
# they run once, in the plain build.
skip=()
[ "$preset" = ci ] || skip=(-LE wm)
ctest --preset "$preset" --timeout 300 --parallel "$(nproc)" "${skip[@]}" "$@"
