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

# Runs every row of the action table (dialog_actions.txt beside this file):
# the caller's `reset_settings` forgets what is stored, `open_dialog` opens
# the dialog and `value KEY` reads what OK stored.
run_action_table() {
  local table tabs action arg setting stored got x y
  table="$(dirname "${BASH_SOURCE[0]}")/dialog_actions.txt"
  while read -r -u 4 tabs action arg setting stored; do
    case "$tabs" in '' | '#'*) continue ;; esac
    reset_settings
    open_dialog /C
    for _ in $(seq "$tabs"); do xdotool key Tab; done
    if [ "$action" = key ] || [ "$action" = hold ]; then
      if [ "$action" = key ]; then xdotool key "$arg"; else
        xdotool keydown "$arg"; sleep 1.5; xdotool keyup "$arg"
      fi
    else
      read -r x y <<<"$(at "${arg%,*}" "${arg#*,}")"
      xdotool mousemove --sync "$x" "$y"
      case "$action" in
        click) xdotool click 1 ;;
        press) xdotool mousedown 1; sleep 1.5; xdotool mouseup 1 ;;
        wheelup) xdotool click 4 ;;
        wheeldown) xdotool click 5 ;;
        *) fail "unknown action '$action' in $table" ;;
      esac
    fi
    sleep 0.3
    xdotool key Return
    wait_closed
    got=$(value "$setting")
    if [ "${stored#>=}" != "$stored" ]; then
      awk -v a="$got" -v b="${stored#>=}" 'BEGIN { exit !(a != "" && a + 0 >= b + 0) }' ||
        fail "$tabs $action $arg: $setting is '$got', expected $stored"
    else
      [ "$got" = "$stored" ] || fail "$tabs $action $arg: $setting is '$got', expected '$stored'"
    fi
  done 4<"$table"
}
