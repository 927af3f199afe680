#!/usr/bin/env bash
# The ground the Wine tests stand on:
#   wine-fixture.sh start <dir>   an Xvfb display (<dir>/display) and a fresh
#                                 Wine prefix (<dir>/prefix) without a window
#                                 manager's say in full-screen windows
#   wine-fixture.sh stop <dir>    ends the Wine server and the display
set -euo pipefail
cmd=${1:?start or stop}
dir=${2:?folder}
export PATH=/usr/lib/wine:$PATH WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX=$dir/prefix

stop() {
  if [ -d "$dir/prefix" ]; then wineserver -k </dev/null >/dev/null 2>&1 || true; fi
  if [ -f "$dir/xvfb.pid" ]; then kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true; rm -f "$dir/xvfb.pid"; fi
}

case "$cmd" in
  start)
    stop
    rm -rf "$dir"
    mkdir -p "$dir"
    # Xvfb names a free display itself. -noreset: the desktop must outlive
    # each test's programs.
    setsid Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp -noreset \
      3>"$dir/display" </dev/null >/dev/null 2>&1 &
    echo $! >"$dir/xvfb.pid"
    for _ in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.1; done
    [ -s "$dir/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$(head -n1 "$dir/display")"
    # Every Wine process gets /dev/null: the Wine server outlives them and
    # would hold the test runner's pipes open.
    wine64 wineboot -i </dev/null >/dev/null 2>&1
    # Without a window manager, full-screen windows must not wait for one.
    wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    echo "Wine prefix ready on $DISPLAY"
    ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop <dir>" >&2; exit 2 ;;
esac
