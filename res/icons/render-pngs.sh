#!/usr/bin/env bash
# Renders the icon's PNG sizes from brenwick.svg (committed, so that building needs no SVG renderer).
# Run after changing the SVG; needs rsvg-convert (package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" brenwick.svg -o "brenwick-$size.png"
done
