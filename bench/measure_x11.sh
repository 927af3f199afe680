#!/usr/bin/env bash
# CPU share (the program's and the X server's) and resident memory of screen
# savers running side by side on one Xvfb screen per size.
#
#   bench/measure_x11.sh [-b BUILD_DIR] [-s SECONDS] [-r REPEATS] [-m MAXFL]
#                        [-p "PROGRAM..."] SIZE...
#
# PROGRAM is one of
#   winterhollow          our saver, full screen (Speed=5: a frame every 40 ms)
#   winterhollow-hack     the same binary as a daemon's hack drawing on the root window
#   winterhollow-preview  the preview still, in a child of the root window
#   xsnow                 xsnow with its default scene (package xsnow)
#   noseguy               an XScreenSaver hack on the root window (xscreensaver-data-extra)
#   exe:PATH[:MODE]       another winterhollow binary (an older build), MODE as above
# (default: "winterhollow xsnow noseguy"); SIZE is WxH (default 1920x1080).
#
# Each program gets the screen alone for its turn: started, given a few
# seconds to build its first picture, then the CPU time the kernel booked for
# it and for the X server (see cpu_share.sh) is read over SECONDS of wall
# time. CPU time, not wall time, so a busy machine slows the run but does not
# inflate the share. Rounds alternate the programs; the
# median of the REPEATS rounds is printed, and the memory is the program's
# resident set (VmRSS) at the end of its last turn, with its peak (VmHWM).
# Output: one markdown table row per program and size.
set -euo pipefail

build=build
secs=20
repeats=3
maxfl=
programs="winterhollow xsnow noseguy"
while getopts "b:s:r:m:p:" o; do
  case $o in
    b) build=$OPTARG ;;
    s) secs=$OPTARG ;;
    r) repeats=$OPTARG ;;
    m) maxfl=$OPTARG ;;
    p) programs=$OPTARG ;;
    *) sed -n '2,22p' "$0" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
sizes=("${@:-1920x1080}")
warmup=4
hacks=/usr/libexec/xscreensaver
command -v Xvfb >/dev/null || { echo "Xvfb is not installed (package xvfb)" >&2; exit 1; }
. "$(dirname "$0")/cpu_share.sh"

work=$(mktemp -d)
xpid=
ppid_=
cleanup() {
  [ -n "$ppid_" ] && kill "$ppid_" 2>/dev/null
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT


saver_settings "$work"

# Starts PROGRAM on display $disp; sets ppid_.
start() {
  local prog=$1 exe mode
  local env=(env DISPLAY=":$disp" HOME="$work/home" XDG_CONFIG_HOME="$work/cfg")
  case $prog in
    exe:*)
      exe=${prog#exe:}
      mode=${exe#*:}
      [ "$mode" = "$exe" ] && mode=saver
      exe=${exe%%:*}
      ;;
    winterhollow) exe="$build/src/platform/x11/winterhollow" mode=saver ;;
    winterhollow-hack) exe="$build/src/platform/x11/winterhollow" mode=hack ;;
    winterhollow-preview) exe="$build/src/platform/x11/winterhollow" mode=preview ;;
    xsnow)
      local xs
      xs=$(command -v xsnow || echo /usr/games/xsnow)
      [ -x "$xs" ] || { echo "xsnow is not installed (package xsnow)" >&2; return 1; }
      "${env[@]}" "$xs" -noconfig -hidemenu >/dev/null 2>&1 &
      ppid_=$!
      return
      ;;
    *)
      [ -x "$hacks/$prog" ] || { echo "$hacks/$prog is not installed" >&2; return 1; }
      "${env[@]}" "$hacks/$prog" -root >/dev/null 2>&1 &
      ppid_=$!
      return
      ;;
  esac
  [ -x "$exe" ] || { echo "build $exe first" >&2; return 1; }
  # A copy beside its own settings and error log.
  cp "$exe" "$work/winterhollow"
  case $mode in
    saver) "${env[@]}" "$work/winterhollow" --seed 1 >/dev/null 2>&1 & ;;
    hack) "${env[@]}" "$work/winterhollow" --seed 1 -root >/dev/null 2>&1 & ;;
    preview)
      local root
      root=$(DISPLAY=":$disp" xwininfo -root | awk '/Window id:/ {print $4}')
      "${env[@]}" "$work/winterhollow" --seed 1 /P "$((root))" >/dev/null 2>&1 &
      ;;
  esac
  ppid_=$!
}

for size in "${sizes[@]}"; do
  disp=$((150 + $$ % 100))
  while [ -e "/tmp/.X$disp-lock" ] || [ -e "/tmp/.X11-unix/X$disp" ]; do disp=$((disp + 1)); done
  Xvfb ":$disp" -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 &
  xpid=$!
  for _ in $(seq 200); do [ -e "/tmp/.X11-unix/X$disp" ] && break; sleep 0.05; done
  for round in $(seq "$repeats"); do
    for prog in $programs; do
      measure_round "$size" "$prog" "$xpid"
    done
  done
  kill "$xpid" 2>/dev/null
  wait "$xpid" 2>/dev/null || true
  xpid=
done

print_table "screen" "X server" "X"
