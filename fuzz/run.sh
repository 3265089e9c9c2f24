#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the libFuzzer targets with clang, under the address and undefined-behaviour
# sanitizers, in a build folder of their own, and runs each for a bounded time from its
# seed corpus. Fails on the first finding, leaving the input that found it in that folder.
#   fuzz/run.sh [BUILD_DIR] [SECONDS]      defaults: build-fuzz, 60
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-fuzz}
seconds=${2:-60}

# Warnings are the gcc build's check; this build looks for faults only.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER=clang++ -DORVANTIS_BUILD_FUZZERS=ON \
      -DORVANTIS_BUILD_TESTS=OFF -DORVANTIS_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzzers

export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# The settings target writes its file for every input: in memory where there is room.
memory=/tmp
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    memory=/dev/shm
fi
TMPDIR=$(mktemp -d -p "$memory" orvantis-fuzz.XXXXXX)
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT
failed=0
for target in "$build"/fuzz/*Fuzz; do
    name=$(basename "$target")
    seeds="fuzz/corpus/${name%Fuzz}"
    # What the run finds goes to a scratch folder; the committed seeds stay as they are.
    found="$build/fuzz/$name.found"
    rm -rf "$found" && mkdir -p "$found" "$seeds"
    log="$build/fuzz/$name.log"
    if "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -artifact_prefix="$build/fuzz/$name-" "$found" "$seeds" >"$log" 2>&1; then
        # The last status line: executions per second and the coverage reached.
        echo "$name: $(grep -E '^#[0-9]+' "$log" | tail -n 1)"
    else
        echo "$name: FINDING (see $log)" >&2
        tail -n 40 "$log" >&2
        failed=1
    fi
done
exit "$failed"
