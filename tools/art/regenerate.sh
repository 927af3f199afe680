#!/bin/sh
# Redraws every picture into resources/bitmaps, and the scene's pictures at
# four times the size into resources/fine, from the generator in this
# folder; same sources give the same bytes. Needs cairo (libcairo2-dev) and
# the Comic Neue font (fonts-comic-neue) for the lettering.
#
# The preview still (302) is a real frame of the saver: after the pictures
# are written, the saver is built with them and winterhollow-render runs a
# fixed scene (seed, size, frame count below) until a bird is in the sky;
# that frame, shrunk to 256 x 192, becomes the still.
#   tools/art/regenerate.sh [build-dir]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-"$root/build-art"}
bitmaps="$root/resources/bitmaps"
fine="$root/resources/fine"
export LC_ALL=C
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target wh-art
"$build/tools/art/wh-art" render "$bitmaps"
rm -f "$fine"/*.qoi
mkdir -p "$fine"
"$build/tools/art/wh-art" fine "$fine"

cmake --build "$build" --target winterhollow-render
frame=$(mktemp /tmp/wh-still.XXXXXX.png)
# The still keeps the plain look it was made with (shrunk to 256 x 192 the
# sharp one hardly differs), so the committed bytes stay reproducible.
"$build/tools/render/winterhollow-render" --seed 7 --size 1024x768 --frames 240 --set Sharp=0 -o "$frame"
"$build/tools/art/wh-art" still "$frame" "$bitmaps"
rm -f "$frame"
echo "pictures written to $bitmaps and $fine"
