#!/usr/bin/env bash
# CPU share (the saver's and the compositor's) and resident memory of the
# saver on a headless sway, one output per size: the Wayland counterpart of
# measure_x11.sh, with the same settings and the same table.
#
#   bench/measure_wayland.sh [-b BUILD_DIR] [-s SECONDS] [-r REPEATS] [-m MAXFL]
#                            [-c sway|weston-gl] [-p "PROGRAM..."] SIZE...
#
# PROGRAM is one of
#   winterhollow      our saver, full screen on Wayland (Speed=5: a frame every 40 ms)
#   exe:PATH          another winterhollow binary (an older build)
#   cmd:COMMAND       any other Wayland client, run as it is (no spaces)
# (default: "winterhollow"); SIZE is WxH (default 1920x1080).
#
# sway runs with its pixman renderer on a headless output of SIZE (as
# nobody when we are root: it refuses root), so its share is the compositing
# of what the saver damages. `-c weston-gl` runs weston 10's headless output
# with its GL renderer instead (Mesa's software GL): like the desktops on a
# graphics card it copies a frame's damage into a texture and gives the
# buffer back at once, so one buffer serves the saver; its own share includes
# the software rendering a graphics card would do. Each program gets the output alone for its
# turn: started, given a few seconds for its first scene, then the CPU time
# the kernel booked for it and for sway (see cpu_share.sh) is read over
# SECONDS of wall time. Rounds alternate the programs; the median of the
# REPEATS rounds is printed, and the memory is the program's resident set
# (VmRSS) at the end of its last turn, with its peak (VmHWM).
set -euo pipefail

build=build
secs=20
repeats=3
maxfl=
programs="winterhollow"
compositor=sway
while getopts "b:s:r:m:p:c:" o; do
  case $o in
    b) build=$OPTARG ;;
    s) secs=$OPTARG ;;
    r) repeats=$OPTARG ;;
    m) maxfl=$OPTARG ;;
    p) programs=$OPTARG ;;
    c) compositor=$OPTARG ;;
    *) sed -n '2,27p' "$0" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
sizes=("${@:-1920x1080}")
warmup=6
case $compositor in
  sway) command -v sway >/dev/null || { echo "sway is not installed (package sway)" >&2; exit 1; } ;;
  weston-gl) command -v weston >/dev/null || { echo "weston is not installed (package weston)" >&2; exit 1; } ;;
  *) echo "unknown compositor $compositor" >&2; exit 2 ;;
esac
. "$(dirname "$0")/cpu_share.sh"

work=$(mktemp -d /tmp/wh-bench-wl-XXXXXX)
as_user=()
if [ "$(id -u)" = 0 ]; then
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  chown 65534:65534 "$work"
fi
chmod 700 "$work"
spid=
ppid_=
cleanup() {
  [ -n "$ppid_" ] && kill "$ppid_" 2>/dev/null
  [ -n "$spid" ] && kill "$spid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT


saver_settings "$work"
[ ${#as_user[@]} -gt 0 ] && chown -R 65534:65534 "$work/cfg" "$work/home"

# The environment of sway's clients, as its user.
client_env() {
  echo env -i PATH="$PATH" XDG_RUNTIME_DIR="$work" WAYLAND_DISPLAY="$socket" HOME="$work/home" \
    XDG_CONFIG_HOME="$work/cfg" XDG_DATA_HOME="$work/home" XDG_STATE_HOME="$work/home"
}

# Starts PROGRAM on the compositor; sets ppid_.
start() {
  local prog=$1 exe
  case $prog in
    winterhollow) exe="$build/src/platform/x11/winterhollow" ;;
    exe:*) exe=${prog#exe:} ;;
    cmd:*)
      # shellcheck disable=SC2046
      "${as_user[@]}" $(client_env) ${prog#cmd:} >/dev/null 2>&1 &
      ppid_=$!
      return
      ;;
    *) echo "unknown program $prog" >&2; return 1 ;;
  esac
  [ -x "$exe" ] || { echo "build $exe first" >&2; return 1; }
  # A copy beside its own settings and error log, where nobody reaches it.
  cp "$exe" "$work/winterhollow"
  chmod 755 "$work/winterhollow"
  # shellcheck disable=SC2046
  "${as_user[@]}" $(client_env) "$work/winterhollow" --wayland --seed 1 >/dev/null 2>&1 &
  ppid_=$!
}

for size in "${sizes[@]}"; do
  rm -f "$work"/wayland-*
  if [ "$compositor" = sway ]; then
    printf 'xwayland disable\noutput HEADLESS-1 mode %s\n' "$size" > "$work/config"
    chmod 644 "$work/config"
    (cd "$work" && exec "${as_user[@]}" env -i PATH="$PATH" XDG_RUNTIME_DIR="$work" HOME="$work/home" \
      WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 WLR_HEADLESS_OUTPUTS=1 \
      sway -c "$work/config" >"$work/sway.log" 2>&1) &
  else
    (cd "$work" && exec "${as_user[@]}" env -i PATH="$PATH" XDG_RUNTIME_DIR="$work" HOME="$work/home" \
      weston --backend=headless-backend.so --use-gl --width="${size%x*}" --height="${size#*x}" \
      --idle-time=0 --socket=wayland-1 >"$work/sway.log" 2>&1) &
  fi
  spid=$!
  socket=
  for _ in $(seq 200); do
    socket=$(cd "$work" && ls wayland-? 2>/dev/null | head -1) && [ -n "$socket" ] && break
    sleep 0.05
  done
  [ -n "$socket" ] || { echo "$compositor did not start:" >&2; cat "$work/sway.log" >&2; exit 1; }
  sleep 1  # the output's mode from the configuration
  for round in $(seq "$repeats"); do
    for prog in $programs; do
      measure_round "$size" "$prog" "$spid"
    done
  done
  kill "$spid" 2>/dev/null
  wait "$spid" 2>/dev/null || true
  spid=
done

print_table "output" "$compositor" "${compositor%-gl}"
