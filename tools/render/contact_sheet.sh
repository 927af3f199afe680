#!/bin/sh
# Renders scenes for a row of seeds and puts them on one contact sheet, each
# labelled with its seed, to look at many scenes at once.
#   tools/render/contact_sheet.sh [-b BUILD_DIR] [-s WxH] [-n COUNT] [-f FIRST] OUT.png
# Needs ImageMagick's montage. Extra settings: WH_RENDER_ARGS="--set Snowman=0".
set -eu
build=build size=1280x720 count=12 first=1
while getopts b:s:n:f: opt; do
  case $opt in
    b) build=$OPTARG ;;
    s) size=$OPTARG ;;
    n) count=$OPTARG ;;
    f) first=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ $# -eq 1 ] || { echo "usage: $0 [-b BUILD_DIR] [-s WxH] [-n COUNT] [-f FIRST] OUT.png" >&2; exit 2; }
out=$1
render=$build/tools/render/winterhollow-render
[ -x "$render" ] || { echo "$0: $render not built" >&2; exit 2; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
seed=$first
while [ "$seed" -lt $((first + count)) ]; do
  # shellcheck disable=SC2086
  "$render" --seed "$seed" --size "$size" ${WH_RENDER_ARGS:-} -o "$tmp/$(printf %06d "$seed").png"
  seed=$((seed + 1))
done
montage -label 'seed %t' "$tmp"/*.png -tile 3x -geometry 640x360+4+4 -pointsize 14 \
  -background '#333' -fill white "$out"
echo "$out"
