#!/bin/sh
# Writes a contact sheet of every picture in resources/bitmaps (each with its
# mask beside it, labelled by id, and where it has a large version in
# resources/fine, that version as the saver makes it at twice the size) to
# the PNG given, default contact_sheet.png.
#   tools/art/contact_sheet.sh [out.png] [build-dir]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-contact_sheet.png}
build=${2:-"$root/build-art"}
export LC_ALL=C
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target wh-art >/dev/null
"$build/tools/art/wh-art" sheet "$root/resources/bitmaps" "$out" "$root/resources/fine"
echo "contact sheet written to $out"
