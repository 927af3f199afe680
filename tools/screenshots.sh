#!/usr/bin/env bash
# Starts the saver and a preview on a private Xvfb screen and saves what
# they show at two moments:
#   tools/screenshots.sh [OUT_DIR] [BUILD_DIR] [SEED]
# writes OUT_DIR/saver-1.png, saver-2.png (full screen, 1280 x 720) and
# preview-1.png, preview-2.png (the preview in a 320 x 240 host window),
# and the settings and information dialogs at 100 % and 200 % scale:
# config.png, info.png, config-200.png, info-200.png; with MinGW-w64 and Wine
# also the Windows dialogs, win32-config-<dpi>.png and win32-info-<dpi>.png.
# With a Windows build (build-win64, tools/build-windows.sh) and wine64 it
# also writes saver-wine.png (WinterHollow.scr /S under Wine) and
# preview-wine.png (its preview in a 152 x 112 host of the same process).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-screenshots}
build=${2:-build}
seed=${3:-7}
exe="$build/src/platform/x11/winterhollow"
[ -x "$exe" ] || { echo "build the saver first: $exe is missing" >&2; exit 1; }
for tool in Xvfb import xev xdotool; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed (see .ci/packages)" >&2; exit 1; }
done
mkdir -p "$out"
out=$(cd "$out" && pwd)

work=$(mktemp -d)
n=$((120 + $$ % 100))
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
export DISPLAY=":$n"
Xvfb "$DISPLAY" -screen 0 1280x720x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xpid=$!
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  kill "$xpid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done

# A private home: the user's settings and wallpaper stay untouched.
export HOME="$work" XDG_CONFIG_HOME="$work/cfg" XDG_DATA_HOME="$work/data"
cp "$exe" "$work/winterhollow"
[ -x "$build/src/platform/x11/winterhollow-config" ] &&
  cp "$build/src/platform/x11/winterhollow-config" "$work/"

"$work/winterhollow" /S --seed "$seed" --no-wallpaper &
pids+=($!)
sleep 4
import -window root "$out/saver-1.png"
sleep 6
import -window root "$out/saver-2.png"
xdotool key Escape
wait "${pids[0]}" || true

xev -geometry 320x240+20+20 -event structure > "$work/xev.out" &
pids+=($!)
for _ in $(seq 100); do grep -q "Outer window is" "$work/xev.out" 2>/dev/null && break; sleep 0.05; done
host=$(sed -n 's/^Outer window is \(0x[0-9a-f]*\).*/\1/p' "$work/xev.out" | head -1)
"$work/winterhollow" /p "$((host))" &
pids+=($!)
sleep 2
import -window "$host" "$out/preview-1.png"
sleep 3
import -window "$host" "$out/preview-2.png"
echo "wrote $out/saver-1.png $out/saver-2.png $out/preview-1.png $out/preview-2.png"

# The dialogs, at the desktop's normal scale and at twice that.
[ -x "$work/winterhollow-config" ] || { echo "no winterhollow-config: no dialog pictures" >&2; exit 0; }
# A screen large enough for the dialog at 200 %.
n2=$((n + 1))
while [ -e "/tmp/.X$n2-lock" ] || [ -e "/tmp/.X11-unix/X$n2" ]; do n2=$((n2 + 1)); done
Xvfb ":$n2" -screen 0 2560x1600x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n2" ] && break; sleep 0.05; done
export DISPLAY=":$n2"
title="Winter Hollow  ---  Settings / Einstellungen..."
for scale in 1 2; do
  suffix=$([ "$scale" = 2 ] && echo "-200" || true)
  GDK_SCALE=$scale "$work/winterhollow" /C &
  pid=$!
  pids+=($pid)
  win=$(xdotool search --sync --limit 1 --name "^${title}\$")
  sleep 1
  import -window "$win" "$out/config$suffix.png"
  xdotool windowfocus --sync "$win" key alt+i
  info=$(xdotool search --sync --limit 1 --name '^WinterHollow$')
  sleep 1
  import -window "$info" "$out/info$suffix.png"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
done
echo "wrote $out/config.png $out/info.png $out/config-200.png $out/info-200.png"

# The Windows dialogs under Wine, at 96, 144 and 192 dots per inch, where
# MinGW-w64 and Wine are installed.
if tests/win32/config_dialog_wine.sh "$build" "$out" >/dev/null; then
  echo "wrote $out/win32-config-{96,144,192}.png $out/win32-info-{96,144,192}.png"
else
  echo "no Windows dialog pictures (MinGW-w64 or Wine missing, or the run failed)" >&2
fi

# The Windows saver and its preview under Wine.
win=build-win64
export PATH=/usr/lib/wine:$PATH
if [ -f "$win/WinterHollow.scr" ] && command -v wine64 >/dev/null; then
  kill "${pids[@]}" 2>/dev/null || true
  pids=()
  export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  wine64 wineboot -i </dev/null >/dev/null 2>&1
  # No window manager here: full-screen windows must not wait for one.
  wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  cp "$win/WinterHollow.scr" "$win/wh-preview-host.exe" "$work/"
  xdotool mousemove 640 360
  wine64 "$work/WinterHollow.scr" /S --seed "$seed" --no-wallpaper </dev/null >/dev/null 2>&1 &
  pids+=($!)
  sleep 8
  import -window root "$out/saver-wine.png"
  xdotool key Escape
  wait "${pids[0]}" || true
  wine64 "$work/wh-preview-host.exe" --same-process 6 </dev/null >/dev/null 2>&1 &
  pids+=($!)
  sleep 4
  wid=$(xwininfo -root -tree | sed -n 's/^ *\(0x[0-9a-f]*\) "Preview host".*/\1/p' | head -1)
  import -window "${wid:-root}" "$out/preview-wine.png"
  wait "${pids[1]}" || true
  wineserver -k </dev/null >/dev/null 2>&1 || true
  echo "wrote $out/saver-wine.png $out/preview-wine.png"
fi
