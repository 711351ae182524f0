#!/usr/bin/env bash
# Redraws the stored pictures (resources/pictures), the icons (resources/icons)
# and the default skin (SkinDefault) with the artgen generator.
# Usage: scripts/draw-artwork.sh [build dir]   (default: build-artwork)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-artwork}

# The generator's folder configures on its own, so a half-finished part of
# the program can't stop the pictures from being redrawn.
cmake -S "$root/scripts/artwork" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target artgen -j2
QT_QPA_PLATFORM=offscreen "$build/artgen" "$root"
echo "Artwork written under $root"
