#!/usr/bin/env bash
# The Windows settings dialog under Wine on an Xvfb screen, driven with
# xdotool; what OK stores is read back from the registry with "wine reg".
#   config_dialog_wine.sh <linux build folder> [screenshot folder]
# With a screenshot folder it also saves the dialog and the information
# window at 100, 150 and 200 % (96, 144 and 192 dots per inch).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(cd "$1" && pwd)
shots=${2:-}
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine || true)
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || echo true)
for tool in Xvfb xdotool import convert "$wine"; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
# The saver's own "/C", from the x86_64 Windows build (tools/build-windows.sh).
exe="$PWD/build-win64/WinterHollow.scr"
[ -f "$exe" ] || { echo "SKIP: no $exe"; exit 77; }
demo_dir="$build/win32-dialog"
mkdir -p "$demo_dir"

. tests/test_support/dialog_driver.sh
work=$(mktemp -d)
xpid=
cleanup() {
  [ -n "${dpid:-}" ] && kill "$dpid" 2>/dev/null || true
  WINEPREFIX="$prefix" "$wineserver" -k 2>/dev/null || true
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null || true
  rm -rf "$work"
}
prefix="$demo_dir/prefix"
trap cleanup EXIT
start_xvfb 1600x1200x24
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$prefix"
"$wine" wineboot -i >/dev/null 2>&1
# No window manager here: Wine draws the frames itself.
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
key='HKCU\Software\WinterHollow\Settings'
title="Winter Hollow  ---  Settings / Einstellungen..."

open_dialog() {
  "$wine" "$exe" "$@" >/dev/null 2>&1 &
  dpid=$!
  win=$(xdotool search --sync --limit 1 --name "^${title}\$")
  sleep 1
  eval "$(xdotool getwindowgeometry --shell "$win")"
  # Wine's frame: 3 pixels around, the caption above the client area.
  cw=$((WIDTH - 6))
  cx=$((X + 3)) cy=$((Y + HEIGHT - 3 - (6375 * cw + 3810) / 7620))
  xdotool windowfocus --sync "$win"
}
value() { "$wine" reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | awk -v k="$1" '$1 == k { print $3 }'; }
expect() { [ "$(value "$1")" = "$2" ] || fail "$1 is '$(value "$1")', expected '$2'"; }

# 1. Escape stores nothing.
open_dialog /C
xdotool key Right
xdotool key Escape
wait_closed
[ -z "$(value Speed)" ] || fail "Escape stored settings"

# 2. A key, a click in a track, Restart greys the minutes, an arrow, OK.
open_dialog /C
xdotool key Right                                     # the first bar has the focus: +5
xdotool key Tab Right                                 # Tab follows the table: the density bar, +5
click $((120 + 240 + 1900)) $((1080 + 600 + 100))     # right of the density thumb: +20
[ "$(minutes_ink)" -lt 40 ] || fail "the minutes are not black at first"
click $((120 + 3000 + 100)) $((3840 + 360 + 127))     # clear Restart
[ "$(minutes_ink)" -gt 60 ] || fail "clearing Restart did not grey the minutes"
click $((120 + 3000 + 100)) $((3840 + 360 + 127))     # set it again
[ "$(minutes_ink)" -lt 40 ] || fail "setting Restart did not bring the minutes back"
click $((120 + 4440 + 127)) $((3840 + 600 + 50))      # upper arrow: one minute more
click $((120 + 240 + 100)) $((3840 + 1320 + 300))     # clear the wallpaper option
xdotool key alt+o
wait_closed
expect Speed 5.5
expect maxFl 155
expect SpeedF 6
expect SpeedS 0.53
expect Restart 1
expect rTime 660
expect Wallpaper 0

# 3. Default, then the window's close (Alt+F4) stores nothing; Default and OK do.
open_dialog /C:0
xdotool key alt+d
xdotool key alt+F4
wait_closed
expect Speed 5.5
open_dialog /C
xdotool key alt+d alt+o
wait_closed
expect Speed 5
expect maxFl 110
expect rTime 600
expect Wallpaper 0

# 4. Info opens the information window; Return on its OK closes it.
open_dialog /C
xdotool key alt+i
info=$(xdotool search --sync --limit 1 --name '^WinterHollow$')
sleep 0.5
xdotool windowfocus --sync "$info" key Return
for _ in $(seq 50); do xdotool search --name '^WinterHollow$' >/dev/null || break; sleep 0.1; done
! xdotool search --name '^WinterHollow$' >/dev/null || fail "OK did not close the information window"
kill -0 "$dpid" || fail "the dialog closed with the information window"
xdotool windowfocus --sync "$win" key Escape
wait_closed

# 5. Keys, clicks and the wheel do to the settings what they do in the GTK
#    dialog: the table both tests read.
reset_settings() { "$wine" reg delete "$key" /f >/dev/null 2>&1 || true; }
run_action_table

# 6. Pictures at 100, 150 and 200 %.
if [ -n "$shots" ]; then
  mkdir -p "$shots"
  "$wine" reg delete "$key" /f >/dev/null 2>&1  # the defaults
  for dpi in 96 144 192; do
    "$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d $dpi /f >/dev/null 2>&1
    "$wineserver" -k 2>/dev/null || true
    sleep 1
    open_dialog /C
    import -window "$win" "$shots/win32-config-$dpi.png"
    xdotool key alt+i
    info=$(xdotool search --sync --limit 1 --name '^WinterHollow$')
    sleep 1
    import -window "$info" "$shots/win32-info-$dpi.png"
    xdotool windowfocus --sync "$info" key Return
    sleep 0.5
    xdotool windowfocus --sync "$win" key Escape
    wait_closed
  done
fi
echo PASS
