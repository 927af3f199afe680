#!/usr/bin/env bash
# The Linux settings dialog as a person meets it: "winterhollow /C" on an
# Xvfb screen, driven with xdotool, checked through the settings file it
# writes and the screen it shows.
#   config_dialog_e2e.sh <folder of winterhollow and winterhollow-config> <wm_close>
set -euo pipefail
bin=$1
wm_close=$2
for tool in Xvfb xdotool import convert readelf; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

. "$(dirname "$0")/../test_support/dialog_driver.sh"

# GTK is the dialog's alone: the saver program does not even link it.
if readelf -d "$bin/winterhollow" | grep -qi 'gtk\|gdk'; then fail "winterhollow links GTK"; fi

work=$(mktemp -d)
xpid=
cleanup() {
  [ -n "${dpid:-}" ] && kill "$dpid" 2>/dev/null || true
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
start_xvfb 1024x768x24
export HOME="$work/home" XDG_CONFIG_HOME="$work/cfg" XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state"
export GTK_THEME=Adwaita NO_AT_BRIDGE=1 GDK_BACKEND=x11 LC_ALL=C.UTF-8
unset GDK_SCALE GDK_DPI_SCALE
mkdir -p "$HOME"
# Copies side by side: "/C" finds its dialog beside the program.
cp "$bin/winterhollow" "$bin/winterhollow-config" "$work/"
ini="$XDG_CONFIG_HOME/WinterHollow/settings.ini"
title="Winter Hollow  ---  Settings / Einstellungen..."

open_dialog() {
  "$work/winterhollow" "$@" &
  dpid=$!
  win=$(xdotool search --sync --limit 1 --name "^${title}\$")
  sleep 0.5
  eval "$(xdotool getwindowgeometry --shell "$win")"
  cx=$X cy=$Y cw=$WIDTH
  xdotool windowfocus --sync "$win"
}
value() { sed -n "s/^$1=//p" "$ini"; }

# 1. "/C" opens the dialog in the companion program; the window manager's
#    close stores nothing.
open_dialog /C
[ "$(readlink "/proc/$dpid/exe")" = "$work/winterhollow-config" ] || fail "/C did not start winterhollow-config"
"$wm_close" "$win"
wait_closed
[ ! -e "$ini" ] || fail "closing the window stored settings"

# 2. Keys, a click in a track, Restart and the minutes, OK.
open_dialog --config
xdotool key Right                       # the first bar (general speed) takes the focus: +5
xdotool key Tab Right                   # Tab follows the table: the density bar, +5
click $((120 + 240 + 1900)) $((1080 + 600 + 100))   # right of the density thumb: +20
[ "$(minutes_ink)" -lt 40 ] || fail "the minutes are not black at first"
click $((120 + 3000 + 120)) $((3840 + 360 + 127))   # clear Restart
[ "$(minutes_ink)" -gt 60 ] || fail "clearing Restart did not grey the minutes"
click $((120 + 4440 + 127)) $((3840 + 600 + 60))    # the disabled arrow does nothing
click $((120 + 3000 + 120)) $((3840 + 360 + 127))   # set Restart again
[ "$(minutes_ink)" -lt 40 ] || fail "setting Restart did not bring the minutes back"
click $((120 + 4440 + 127)) $((3840 + 600 + 60))    # upper arrow: one minute more
click $((120 + 240 + 100)) $((3840 + 1320 + 300))   # clear the wallpaper option
click $((6120 + 600)) $((4560 + 500))               # OK
wait_closed
[ -e "$ini" ] || fail "OK stored nothing"
expect() { [ "$(value "$1")" = "$2" ] || fail "$1 is '$(value "$1")', expected '$2'"; }
expect Speed 5.5
expect maxFl 155
expect SpeedF 6
expect SpeedS 0.53
expect Restart 1
expect rTime 660
expect Wallpaper 0
expect Date 1

# 3. Default puts the bars and the interval back and keeps the wallpaper
#    option; Escape afterwards stores nothing, OK does.
open_dialog /c:1234
click $((6120 + 600)) $((240 + 500))                # Default
xdotool key Escape
wait_closed
expect Speed 5.5
open_dialog /C
click $((6120 + 600)) $((240 + 500))                # Default
xdotool key alt+o
wait_closed
expect Speed 5
expect maxFl 110
expect rTime 600
expect Wallpaper 0

# Under a decimal-comma locale the file gets decimal commas.
if locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  LC_ALL=de_DE.UTF-8 open_dialog /C
  xdotool key alt+o
  wait_closed
  expect SpeedS 0,53
  expect Speed 5
fi

# 4. "WWW..." hands the maker's page to the desktop's handler for https.
mkdir -p "$XDG_DATA_HOME/applications"
cat > "$work/browser" <<EOS
#!/bin/sh
echo "\$1" >> "$work/opened"
EOS
chmod +x "$work/browser"
printf '[Desktop Entry]\nType=Application\nName=Browser\nExec=%s %%u\nMimeType=x-scheme-handler/https;\n' \
  "$work/browser" > "$XDG_DATA_HOME/applications/wh-browser.desktop"
printf '[Default Applications]\nx-scheme-handler/https=wh-browser.desktop\n' > "$XDG_CONFIG_HOME/mimeapps.list"
open_dialog /C
xdotool key alt+w
for _ in $(seq 50); do [ -s "$work/opened" ] && break; sleep 0.1; done
[ "$(cat "$work/opened" 2>/dev/null)" = "https://winterhollow.example/" ] || fail "WWW opened '$(cat "$work/opened" 2>/dev/null)'"
"$wm_close" "$win"
wait_closed

# 5. Info opens the information window over the dialog; its OK closes it.
open_dialog /C
xdotool key alt+i
info=$(xdotool search --sync --limit 1 --name '^WinterHollow$')
xdotool windowfocus --sync "$info" key Return
for _ in $(seq 50); do xdotool search --name '^WinterHollow$' >/dev/null || break; sleep 0.1; done
! xdotool search --name '^WinterHollow$' >/dev/null || fail "OK did not close the information window"
kill -0 "$dpid" || fail "the settings dialog closed with the information window"
"$wm_close" "$win"
wait_closed

# 6. A stored value the dialog cannot show is reported to the saver's log and
#    the dialog opens all the same.
sed -i 's/^maxFl=.*/maxFl=300/' "$ini"
open_dialog /C
grep -q "Prozedur / procedure:.Form_Load" "$XDG_STATE_HOME/WinterHollow/winterhollow.FLG" || fail "no protocol of Form_Load"
grep -q "380 (Invalid property value)" "$XDG_STATE_HOME/WinterHollow/winterhollow.FLG" || fail "not error 380"
"$wm_close" "$win"
wait_closed

# 7. Keys, clicks and the wheel do to the settings what they do in the Win32
#    dialog: the table both tests read.
reset_settings() { rm -f "$ini"; }
run_action_table

# 8. "/C" leaves the settings to the dialog program: a value neither can use
#    is reported once, by the dialog, not by both programs.
log="$XDG_STATE_HOME/WinterHollow/winterhollow.FLG"
rm -f "$log"
printf '[Settings]\nmaxFl=99999\n' > "$ini"
open_dialog /C
"$wm_close" "$win"
wait_closed
reports=$(grep -c "Prozedur / procedure:.LoadConfig" "$log" || true)
[ "$reports" = 1 ] || fail "the bad maxFl was reported $reports times, not once"

# 9. OK with a settings file the user made read-only: a message over the
#    dialog, the file untouched, the dialog still open after the message.
chmod 0444 "$ini"
before=$(cat "$ini")
open_dialog /C
xdotool key alt+o
msg=$(xdotool search --sync --limit 1 --name '^WinterHollow$')
sleep 0.5
import -window "$msg" "$work/failure.png"
kill -0 "$dpid" || fail "the dialog closed although nothing was saved"
[ "$(cat "$ini")" = "$before" ] || fail "the read-only settings file was replaced"
xdotool windowfocus --sync "$msg" key Return
for _ in $(seq 50); do xdotool search --name '^WinterHollow$' >/dev/null || break; sleep 0.1; done
kill -0 "$dpid" || fail "the dialog closed with the message"
"$wm_close" "$win"
wait_closed
if [ -n "${WH_KEEP_SHOTS:-}" ]; then cp "$work/failure.png" "$WH_KEEP_SHOTS/"; fi
echo "PASS"
