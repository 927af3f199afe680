#!/usr/bin/env bash
# CPU share of WinterHollow.scr running full screen under Wine on Xvfb: the
# saver's process, the Wine server and the X server, each over a fixed wall
# interval.
#
#   bench/measure_wine.sh [-s SECONDS] [-r REPEATS] [-z WxH] SCR...
#
# Every SCR (e.g. build-win64/WinterHollow.scr and an older build) runs in
# turn, rounds alternating them, on one Xvfb screen of size WxH (default
# 1920x1080) and one fresh Wine prefix: "/S --speed 5 --seed 1
# --no-wallpaper", a frame every 40 ms with otherwise default settings. After
# a warm-up for the first scene, the CPU time the kernel booked (see
# cpu_share.sh) is read over SECONDS (default 15) for the saver, for the
# Wine server and for Xvfb; the median of the REPEATS (default 3) rounds is
# printed, each as the share of one core, with every round and the saver's
# resident memory (VmRSS) at the end of its last turn.
set -euo pipefail

secs=15
repeats=3
size=1920x1080
while getopts "s:r:z:" o; do
  case $o in
    s) secs=$OPTARG ;;
    r) repeats=$OPTARG ;;
    z) size=$OPTARG ;;
    *) sed -n '2,16p' "$0" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ $# -gt 0 ] || { sed -n '2,16p' "$0" >&2; exit 2; }
export PATH=/usr/lib/wine:$PATH WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
command -v wine64 >/dev/null || { echo "wine64 is not installed" >&2; exit 1; }
warmup=8
. "$(dirname "$0")/cpu_share.sh"

work=$(mktemp -d)
export WINEPREFIX=$work/prefix
xpid= spid= ppid_=
cleanup() {
  [ -n "$ppid_" ] && kill "$ppid_" 2>/dev/null
  [ -n "$spid" ] && kill "$spid" 2>/dev/null
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT


Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset 3>"$work/display" \
  </dev/null >/dev/null 2>&1 &
xpid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"
wine64 wineboot -i </dev/null >/dev/null 2>&1
wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
wineserver -w
# The prefix's Wine server from here on is ours, to measure and to end.
wineserver -f -p </dev/null >/dev/null 2>&1 &
spid=$!
sleep 1

declare -A cpu_p cpu_s cpu_x rss
n=0
for round in $(seq "$repeats"); do
  for scr in "$@"; do
    n=$((n + 1))
    cp "$scr" "$work/saver$n.scr"
    wine64 "$work/saver$n.scr" /S --speed 5 --seed 1 --no-wallpaper </dev/null >/dev/null 2>&1 &
    ppid_=$!
    sleep "$warmup"
    if ! kill -0 "$ppid_" 2>/dev/null; then echo "$scr ended early" >&2; ppid_=; continue; fi
    p0=$(cpu_time "$ppid_") s0=$(cpu_time "$spid") x0=$(cpu_time "$xpid")
    sleep "$secs"
    p1=$(cpu_time "$ppid_") s1=$(cpu_time "$spid") x1=$(cpu_time "$xpid")
    cpu_p[$scr]+="$(share $((p1 - p0)) "$secs") "
    cpu_s[$scr]+="$(share $((s1 - s0)) "$secs") "
    cpu_x[$scr]+="$(share $((x1 - x0)) "$secs") "
    rss[$scr]=$(awk '$1 == "VmRSS:" {print $2}' "/proc/$ppid_/status" 2>/dev/null || echo 0)
    kill "$ppid_" 2>/dev/null
    wait "$ppid_" 2>/dev/null || true
    ppid_=
    sleep 1
  done
done

echo "| saver | screen | saver CPU % | Wine server % | X server % | RSS MiB | rounds (saver / Wine server / X server) |"
echo "|---|---|---|---|---|---|---|"
for scr in "$@"; do
  printf '| %s | %s | %s | %s | %s | %s | %s / %s / %s |\n' "$scr" "$size" \
    "$(echo "${cpu_p[$scr]:-}" | median)" "$(echo "${cpu_s[$scr]:-}" | median)" \
    "$(echo "${cpu_x[$scr]:-}" | median)" "$(awk -v k="${rss[$scr]:-0}" 'BEGIN {printf "%.0f", k / 1024}')" \
    "${cpu_p[$scr]:-}" "${cpu_s[$scr]:-}" "${cpu_x[$scr]:-}"
done
