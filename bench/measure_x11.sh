#!/usr/bin/env bash
# The running saver's CPU share and resident memory at 25 frames per second
# (Speed=5) on an Xvfb screen of the given size.
#   bench/measure_x11.sh [BUILD_DIR] [WxH] [SECONDS]
set -euo pipefail
build=${1:-build}
size=${2:-1920x1080}
secs=${3:-20}
exe="$build/src/platform/x11/winterhollow"
[ -x "$exe" ] || { echo "build $exe first" >&2; exit 1; }
command -v Xvfb >/dev/null || { echo "Xvfb is not installed" >&2; exit 1; }

work=$(mktemp -d)
n=$((150 + $$ % 100))
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 &
xpid=$!
cleanup() { kill "$spid" 2>/dev/null || true; kill "$xpid" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done

mkdir -p "$work/cfg/WinterHollow"
printf '[Settings]\nSpeed=5\nWallpaper=0\n' > "$work/cfg/WinterHollow/settings.ini"
cp "$exe" "$work/winterhollow"
DISPLAY=":$n" XDG_CONFIG_HOME="$work/cfg" HOME="$work" "$work/winterhollow" --seed 1 &
spid=$!
sleep 3  # the first scene is built; from here on only frames
ticks=$(getconf CLK_TCK)
read -r u0 s0 < <(awk '{print $14, $15}' "/proc/$spid/stat")
sleep "$secs"
read -r u1 s1 < <(awk '{print $14, $15}' "/proc/$spid/stat")
rss=$(awk '/VmRSS/ {print $2}' "/proc/$spid/status")
hwm=$(awk '/VmHWM/ {print $2}' "/proc/$spid/status")
cpu=$(awk -v a=$((u1 + s1 - u0 - s0)) -v t="$ticks" -v s="$secs" 'BEGIN {printf "%.1f", 100 * a / t / s}')
echo "screen $size, $secs s at Speed=5: CPU ${cpu}% of one core, RSS $((rss / 1024)) MiB (peak $((hwm / 1024)) MiB)"
