# Shell helpers for driving the settings dialog on an Xvfb screen with
# xdotool; sourced by the dialog end-to-end tests. The caller sets `work`
# (a private folder), and after opening a dialog `dpid` (its process), `cx`,
# `cy` (the screen position of its client area) and `cw` (the client width).
# shellcheck shell=bash

fail() { echo "FAIL: $*" >&2; exit 1; }

# A private X server; its display becomes $DISPLAY, its process $xpid.
start_xvfb() {
  exec 3> "$work/display"
  Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp >/dev/null 2>&1 &
  xpid=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
  exec 3>&-
  export DISPLAY=":$(cat "$work/display")"
}

# Screen position of a point given in twips on the form.
at() { echo $((cx + $1 * cw / 7620)) $((cy + $2 * cw / 7620)); }
click() { xdotool mousemove --sync $(at "$1" "$2") click 1; sleep 0.4; }

wait_closed() {
  for _ in $(seq 100); do
    kill -0 "$dpid" 2>/dev/null || { wait "$dpid" || true; return 0; }
    sleep 0.1
  done
  fail "the dialog did not close"
}

# The darkest grey of the minutes label, 0 (black) to 100 (white).
minutes_ink() {
  local x y
  read -r x y <<<"$(at $((120 + 4080)) $((3840 + 600)))"
  import -window root -crop "$((375 * cw / 7620))x$((255 * cw / 7620))+$x+$y" "$work/time.png"
  convert "$work/time.png" -colorspace Gray -format '%[fx:int(100*minima)]' info:
}
