#!/bin/sh
# Redraws every picture into resources/bitmaps from the generator in this
# folder. Same sources give the same bytes. Needs cairo (libcairo2-dev) and
# the Comic Neue font (fonts-comic-neue) for the lettering.
#   tools/art/regenerate.sh [build-dir]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-"$root/build-art"}
export LC_ALL=C
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target wh-art
"$build/tools/art/wh-art" render "$root/resources/bitmaps"
echo "pictures written to $root/resources/bitmaps"
