#!/usr/bin/env bash
# Makes every picture of the README again from today's program, each by the
# command written under it there (winterhollow-render, or for the pictures
# of the running saver tools/sway-screenshot.sh):
#   tools/readme-pictures.sh [-b BUILD_DIR]            rewrites docs/
#   tools/readme-pictures.sh [-b BUILD_DIR] --check [-p ROOT]
# --check writes nothing: it renders into a scratch folder and fails unless
# every committed picture (ROOT/docs/..., default the repository) is still
# close to what its command makes now, and the README shows each picture with
# its command under it. Needs ImageMagick (convert, compare).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build
check=0
root=$here
while [ $# -gt 0 ]; do
  case $1 in
    -b) build=$2; shift 2 ;;
    -p) root=$2; shift 2 ;;
    --check) check=1; shift ;;
    *) echo "usage: $0 [-b BUILD_DIR] [--check [-p ROOT]]" >&2; exit 2 ;;
  esac
done
render=$build/tools/render/winterhollow-render
[ -x "$render" ] || { echo "$0: $render is not built (cmake --build $build --target winterhollow-render)" >&2; exit 2; }
for tool in convert compare; do
  command -v "$tool" >/dev/null || { echo "$0: $tool (imagemagick) is not installed" >&2; exit 2; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The lowest peak signal-to-noise ratio, in dB, at which a committed picture
# still counts as what its command makes. Measured: JPEG at quality 85 keeps
# 35.4 to 37.0 dB of the lossless render, the WebP loop's worst frame 36.0 dB.
# The render of seed 21 from before the sky lost its dither and the moon grew
# is at 24.0 dB, the same scene one tick later (the snow moved) at 24.8 dB,
# another seed at 8 to 13 dB. 32 dB keeps about 3.5 dB from either side.
min_psnr=32
# A picture of the running saver is never made twice alike: the snow, a
# bird and the clock move on. The same seed taken twice is at 27.7 dB,
# another seed at 10.5 dB.
min_psnr_live=20

# Every picture made, in order, and the render arguments the README shows
# under each (one command a line).
pictures=()
declare -A args need

# A still scene, as JPEG.
still() {
  local file=$1
  shift
  "$render" "$@" -o "$work/still.png"
  [ "$check" = 1 ] || convert "$work/still.png" -quality 85 "$work/out.jpg"
  finish "$file" "$work/out.jpg" "$work/still.png" "winterhollow-render $*"
}

# Sharp off and on side by side: the same crop (WxH+X+Y) of both renders.
sharp_pair() {
  local file=$1 crop=$2
  shift 2
  "$render" "$@" --set Sharp=0 -o "$work/off.png"
  "$render" "$@" -o "$work/on.png"
  convert "$work/off.png" "$work/on.png" -crop "$crop" +repage +append "$work/pair.png"
  finish "$file" "$work/pair.png" "$work/pair.png" "winterhollow-render $* --set Sharp=0" \
    "winterhollow-render $*"
}

# A loop of frames as animated WebP, played at the saver's own pace: the
# frame interval is 200/Speed ms (40 ms by default), and every --every-th
# tick is kept. Its lossless twins are the frames.
loop() {
  local file=$1 size=$2 delay=$3
  shift 3
  rm -rf "$work/frames"
  mkdir "$work/frames"
  "$render" "$@" --out-pattern "$work/frames/f%03d.png"
  convert "$work/frames"/f*.png -resize "$size" "$work/frames/small-%03d.png"
  [ "$check" = 1 ] || convert -delay "$delay" -loop 0 "$work/frames"/small-*.png -quality 80 "$work/loop.webp"
  finish "$file" "$work/loop.webp" "$work/frames/small-*.png" "winterhollow-render $* --out-pattern"
}

# The running saver on a headless sway, its outputs side by side, as JPEG.
# Without sway here it is not made (and not checked).
sway_shot() {
  local file=$1 status=0
  shift
  "$here/tools/sway-screenshot.sh" -b "$build" -o "$work/shot.png" "$@" || status=$?
  if [ "$status" = 3 ]; then
    echo "skip $file: sway, grim or ImageMagick is missing"
    args[$file]="tools/sway-screenshot.sh $*"
    return
  fi
  [ "$status" = 0 ] || exit "$status"
  [ "$check" = 1 ] || convert "$work/shot.png" -quality 85 "$work/shot.jpg"
  finish "$file" "$work/shot.jpg" "$work/shot.png" "tools/sway-screenshot.sh -o sway.png $*"
  need[$file]=$min_psnr_live
}

# finish FILE MADE LOSSLESS ARGS...: keeps what was made (or, in the check,
# its lossless frames, LOSSLESS a glob) and the README's commands for it.
finish() {
  local file=$1 out=$2 lossless=$3 n=0 frame
  shift 3
  pictures+=("$file")
  args[$file]=$(printf '%s\n' "$@")
  if [ "$check" = 1 ]; then
    mkdir -p "$work/made/$file"
    for frame in $lossless; do
      cp "$frame" "$work/made/$file/$(printf %03d "$n").png"
      n=$((n + 1))
    done
  else
    mkdir -p "$(dirname "$root/$file")"
    cp "$out" "$root/$file"
    echo "wrote $file"
  fi
}

# The pictures, in the order the README shows them.
loop docs/loop.webp 640x360 8 --seed 7 --size 960x540 --frames 300 --skip 190 --every 2
for seed in 3 6 16 21; do
  still "docs/gallery/seed-$seed.jpg" --seed "$seed" --size 960x540 --frames 40
done
sharp_pair docs/sharp/seed7-3840x2160-off-on.png 960x540+2450+600 --seed 7 --size 3840x2160
sharp_pair docs/sharp/seed7-1920x1080-off-on.png 640x360+1000+300 --seed 7 --size 1920x1080
sway_shot docs/wayland/sway-two-outputs.jpg --seed 5 1280x720 1920x1080@2

[ "$check" = 1 ] || exit 0

# The check: each committed picture decoded, frame by frame, against the
# lossless render of today; the worst frame counts.
failed=0
for file in "${pictures[@]}"; do
  committed=$root/$file
  if [ ! -f "$committed" ]; then
    echo "FAIL $file: missing (tools/readme-pictures.sh makes it)"
    failed=1
    continue
  fi
  rm -rf "$work/committed"
  mkdir "$work/committed"
  convert "$committed" -coalesce "$work/committed/%03d.png"
  frames=$(find "$work/made/$file" -type f | wc -l)
  if [ "$(find "$work/committed" -type f | wc -l)" != "$frames" ]; then
    echo "FAIL $file: it has not the $frames frame(s) its command makes now"
    failed=1
    continue
  fi
  worst=inf
  for made_frame in "$work/made/$file"/*.png; do
    frame=$work/committed/$(basename "$made_frame")
    if [ "$(identify -format '%wx%h' "$frame")" != "$(identify -format '%wx%h' "$made_frame")" ]; then
      worst=0
      break
    fi
    # compare prints "inf" for equal pictures and exits 1 for different ones.
    psnr=$(compare -metric PSNR "$frame" "$made_frame" null: 2>&1 || true)
    if [ "$worst" = inf ] || { [ "$psnr" != inf ] && awk -v p="$psnr" -v w="$worst" 'BEGIN { exit !(p + 0 < w + 0) }'; }; then
      worst=$psnr
    fi
  done
  least=${need[$file]:-$min_psnr}
  if [ "$worst" = inf ] || awk -v p="$worst" -v m="$least" 'BEGIN { exit !(p + 0 >= m) }'; then
    echo "ok   $file: $worst dB ($frames frame(s))"
  else
    echo "FAIL $file: $worst dB from what its command makes now (at least $least needed)"
    failed=1
  fi
done

# The README: every picture it shows is made here, and shown with its
# command (the render arguments) before the next picture or heading.
readme=$root/README.md
shown=$(grep -o '](docs/[^)]*)' "$readme" | sed 's/^](//; s/)$//' | sort -u)
for file in $shown; do
  [ -n "${args[$file]:-}" ] || { echo "FAIL README shows $file, which this script does not make"; failed=1; }
done
for file in "${pictures[@]}"; do
  grep -q "](${file})" "$readme" || { echo "FAIL README does not show $file"; failed=1; continue; }
  # The text from the picture to the next heading.
  after=$(awk -v f="](${file})" 'index($0, f) { on = 1; next } on && /^#/ { exit } on' "$readme")
  while IFS= read -r a; do
    grep -qF -- "$a" <<<"$after" || { echo "FAIL README: no '$a' under $file"; failed=1; }
  done <<<"${args[$file]}"
done
exit "$failed"
