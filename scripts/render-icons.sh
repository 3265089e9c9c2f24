#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Renders the application icon into the hicolor sizes that are committed under
# res/icons/hicolor. Run after changing an SVG; needs rsvg-convert (librsvg2-bin), which
# the build itself does not.
set -euo pipefail
cd "$(dirname "$0")/../res/icons"
for size in 16 22 24 32 48 64 128 256; do
    # Below 32 pixels the simpler drawing keeps the rim and the line apart.
    source=com.tamberlo.Orvantis.svg
    [ "$size" -lt 32 ] && source=com.tamberlo.Orvantis-small.svg
    mkdir -p "hicolor/${size}x${size}/apps"
    rsvg-convert --width "$size" --height "$size" "$source" \
        --output "hicolor/${size}x${size}/apps/com.tamberlo.Orvantis.png"
done
