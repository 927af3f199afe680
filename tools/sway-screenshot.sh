#!/usr/bin/env bash
# The saver on a headless sway, one picture of every output side by side at
# the height of the first:
#   tools/sway-screenshot.sh [-b BUILD_DIR] -o OUT.png --seed N [--wait S] OUTPUT...
# Each OUTPUT is WIDTHxHEIGHT or WIDTHxHEIGHT@SCALE, given to HEADLESS-1, -2,
# ... left to right. sway refuses to run as root: as root, sway and the saver
# run as nobody in a folder of their own. Needs sway, grim and ImageMagick;
# exits 3 where they or the saver are missing.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build
out=
seed=
wait_s=5
outputs=()
while [ $# -gt 0 ]; do
  case $1 in
    -b) build=$2; shift 2 ;;
    -o) out=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --wait) wait_s=$2; shift 2 ;;
    -*) echo "usage: $0 [-b BUILD_DIR] -o OUT.png --seed N [--wait S] WxH[@SCALE]..." >&2; exit 2 ;;
    *) outputs+=("$1"); shift ;;
  esac
done
[ -n "$out" ] && [ -n "$seed" ] && [ ${#outputs[@]} -gt 0 ] ||
  { echo "usage: $0 [-b BUILD_DIR] -o OUT.png --seed N [--wait S] WxH[@SCALE]..." >&2; exit 2; }
for tool in sway grim convert; do
  command -v "$tool" >/dev/null || { echo "$0: $tool is not installed" >&2; exit 3; }
done
saver=$build/src/platform/x11/winterhollow
[ -x "$saver" ] || { echo "$0: $saver is not built" >&2; exit 3; }

work=$(mktemp -d /tmp/wh-shot-XXXXXX)
as_user=()
if [ "$(id -u)" = 0 ]; then
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
spid= ppid_=
cleanup() {
  [ -z "$ppid_" ] || kill "$ppid_" 2>/dev/null || true
  [ -z "$spid" ] || kill "$spid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/home" "$work/cfg/WinterHollow"
# The desktop's background stays as it is.
printf '[Settings]\nWallpaper=0\n' >"$work/cfg/WinterHollow/settings.ini"
cp "$saver" "$work/winterhollow"
{
  echo "xwayland disable"
  x=0
  for i in "${!outputs[@]}"; do
    want=${outputs[$i]}
    mode=${want%@*}
    scale=1
    [ "$want" = "$mode" ] || scale=${want#*@}
    echo "output HEADLESS-$((i + 1)) mode $mode scale $scale position $x 0"
    x=$((x + ${mode%x*}))
  done
} >"$work/config"
chmod -R a+rX "$work"
[ ${#as_user[@]} -eq 0 ] || chown -R 65534:65534 "$work"
chmod 700 "$work"

env_base=(env -i PATH="$PATH" XDG_RUNTIME_DIR="$work" HOME="$work/home")
(cd "$work" && exec "${as_user[@]}" "${env_base[@]}" WLR_BACKENDS=headless WLR_RENDERER=pixman \
  WLR_LIBINPUT_NO_DEVICES=1 WLR_HEADLESS_OUTPUTS=${#outputs[@]} sway -c "$work/config" \
  >"$work/sway.log" 2>&1) &
spid=$!
socket=
for _ in $(seq 200); do
  socket=$(cd "$work" && ls wayland-? 2>/dev/null | head -1) && [ -n "$socket" ] && break
  sleep 0.05
done
[ -n "$socket" ] || { echo "$0: sway did not start:" >&2; cat "$work/sway.log" >&2; exit 1; }
client=("${as_user[@]}" "${env_base[@]}" WAYLAND_DISPLAY="$socket" XDG_CONFIG_HOME="$work/cfg"
        XDG_DATA_HOME="$work/home" XDG_STATE_HOME="$work/home")
# The outputs take their modes from the configuration first.
sleep 1
"${client[@]}" "$work/winterhollow" --wayland --seed "$seed" >"$work/saver.log" 2>&1 &
ppid_=$!
sleep "$wait_s"
kill -0 "$ppid_" 2>/dev/null || { echo "$0: the saver ended early:" >&2; cat "$work/saver.log" >&2; exit 1; }
shots=()
for i in "${!outputs[@]}"; do
  shot=$work/out-$((i + 1)).png
  "${client[@]}" grim -o "HEADLESS-$((i + 1))" - >"$shot"
  shots+=("$shot")
done
height=$(identify -format '%h' "${shots[0]}")
convert "${shots[@]}" -resize "x$height" -background '#202020' -splice 16x0 +append -chop 16x0 "$out"
