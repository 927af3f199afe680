#!/usr/bin/env bash
# The ground the Wine tests stand on:
#   wine-fixture.sh start <dir>   an Xvfb display (<dir>/display) and a fresh
#                                 Wine prefix (<dir>/prefix) without a window
#                                 manager's say in full-screen windows
#   wine-fixture.sh monitors <dir> the same on an Xorg server with the dummy
#                                 driver (root only), whose RandR outputs Wine
#                                 takes for monitors: DUMMY0 800x600 primary,
#                                 DUMMY1 960x540 left of it
#   wine-fixture.sh stop <dir>    ends the Wine server and the display
set -euo pipefail
cmd=${1:?start or stop}
dir=${2:?folder}
export PATH=/usr/lib/wine:$PATH WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX=$dir/prefix

stop() {
  if [ -d "$dir/prefix" ]; then wineserver -k </dev/null >/dev/null 2>&1 || true; fi
  if [ -f "$dir/xvfb.pid" ]; then kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true; rm -f "$dir/xvfb.pid"; fi
}

# Xvfb and Xephyr show Wine one monitor; the dummy driver's outputs are real
# RandR outputs. Enough video memory for a 3000 x 2000 desktop.
dummy_config() {
  cat <<'EOF'
Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 3000 2000
  EndSubSection
EndSection
EOF
}

case "$cmd" in
  start|monitors)
    stop
    rm -rf "$dir"
    mkdir -p "$dir"
    # The server names a free display itself. -noreset: the desktop must
    # outlive each test's programs.
    if [ "$cmd" = start ]; then
      setsid Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp -noreset \
        3>"$dir/display" </dev/null >/dev/null 2>&1 &
    else
      dummy_config >"$dir/xorg.conf"
      setsid Xorg -displayfd 3 -config "$dir/xorg.conf" -logfile "$dir/xorg.log" \
        -nolisten tcp -noreset 3>"$dir/display" </dev/null >/dev/null 2>&1 &
    fi
    echo $! >"$dir/xvfb.pid"
    for _ in $(seq 150); do [ -s "$dir/display" ] && break; sleep 0.1; done
    [ -s "$dir/display" ] || { echo "the X server did not start" >&2; exit 1; }
    export DISPLAY=":$(head -n1 "$dir/display")"
    if [ "$cmd" = monitors ]; then
      xrandr --output DUMMY0 --mode 800x600 --primary
      xrandr --addmode DUMMY1 960x540
      xrandr --output DUMMY1 --mode 960x540 --left-of DUMMY0
      # A query that probes the outputs: until one does, the server's current
      # state (which Wine reads) may still show DUMMY1 disconnected.
      xrandr --query >/dev/null
    fi
    # Every Wine process gets /dev/null: the Wine server outlives them and
    # would hold the test runner's pipes open.
    wine64 wineboot -i </dev/null >/dev/null 2>&1
    # Without a window manager, full-screen windows must not wait for one.
    wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    echo "Wine prefix ready on $DISPLAY"
    ;;
  stop) stop ;;
  *) echo "usage: $0 start|monitors|stop <dir>" >&2; exit 2 ;;
esac
