# Shared by the measuring scripts (sourced): a process's CPU time and its
# share of one core, and the median of a list of numbers.
#
# cpu_time PID     CPU time the kernel booked for PID, in units of
#                  $per_second: the scheduler's nanoseconds summed over its
#                  threads (/proc/PID/task/*/schedstat) where the kernel
#                  keeps them, else the clock ticks of /proc/PID/stat.
# share DELTA SECS a CPU time difference as a percentage of one core.
# median           the median of the numbers on standard input, one decimal.
# measure_round, print_table: one round of a program beside its display
#                  server, and the table of all rounds (see below).

if [ -r /proc/self/schedstat ]; then
  per_second=1000000000
  # %.0f: mawk's %d stops at 2^31, a little over two seconds.
  cpu_time() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {printf "%.0f\n", s}'; }
else
  per_second=$(getconf CLK_TCK)
  cpu_time() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
fi

share() { awk -v a="$1" -v t="$per_second" -v s="$2" 'BEGIN {printf "%.2f", 100 * a / t / s}'; }

median() {
  tr ' ' '\n' | grep . | sort -g |
    awk '{v[NR] = $1} END {if (NR) printf "%.1f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}

# The rounds' findings, keyed "SIZE|PROGRAM": the program's and the display
# server's CPU shares (one a round), the program's memory.
declare -A cpu_p cpu_x rss hwm
kib() { awk -v k="$2" '$1 == k":" {print $2}' "/proc/$1/status" 2>/dev/null || echo 0; }

# measure_round SIZE PROGRAM SERVER_PID: starts PROGRAM (the caller's
# start, which leaves its process id in ppid_), gives it $warmup seconds,
# books its share and the server's over $secs seconds and its memory, and
# ends it.
measure_round() {
  local size=$1 prog=$2 server=$3 p0 x0 p1 x1 key
  start "$prog" || return 0
  sleep "$warmup"
  if ! kill -0 "$ppid_" 2>/dev/null; then echo "$prog ended early" >&2; ppid_=; return 0; fi
  p0=$(cpu_time "$ppid_") x0=$(cpu_time "$server")
  sleep "$secs"
  p1=$(cpu_time "$ppid_") x1=$(cpu_time "$server")
  key="$size|$prog"
  cpu_p[$key]+="$(share $((p1 - p0)) "$secs") "
  cpu_x[$key]+="$(share $((x1 - x0)) "$secs") "
  rss[$key]=$(kib "$ppid_" VmRSS)
  hwm[$key]=$(kib "$ppid_" VmHWM)
  kill "$ppid_" 2>/dev/null
  wait "$ppid_" 2>/dev/null || true
  ppid_=
  sleep 1
}

# print_table SCREEN SERVER SHORT: the medians of every size and program
# measured, as a Markdown table ("screen" or "output"; the server's name,
# long and short).
print_table() {
  local key mp mx sum rounds label
  echo "| program | $1 | maxFl | program CPU % | $2 CPU % | together % | RSS MiB (peak) | rounds (program + $3) |"
  echo "|---|---|---|---|---|---|---|---|"
  for size in "${sizes[@]}"; do
    for prog in $programs; do
      key="$size|$prog"
      [ -n "${cpu_p[$key]:-}" ] || continue
      mp=$(echo "${cpu_p[$key]}" | median)
      mx=$(echo "${cpu_x[$key]}" | median)
      sum=$(awk -v a="$mp" -v b="$mx" 'BEGIN {printf "%.1f", a + b}')
      rounds=$(paste -d+ <(echo "${cpu_p[$key]}" | tr ' ' '\n' | grep .) <(echo "${cpu_x[$key]}" | tr ' ' '\n' | grep .) | paste -sd' ')
      label=${prog##*/}
      case $prog in exe:*) label=$(basename "$(dirname "${prog#exe:}")")/$label ;; esac
      echo "| $label | ${size/x/ x } | ${maxfl:-default} | $mp | $mx | $sum | $((${rss[$key]} / 1024)) ($((${hwm[$key]} / 1024))) | $rounds |"
    done
  done
}

# saver_settings DIR: our saver's settings under DIR/cfg (with DIR/home):
# defaults, 25 frames a second, no wallpaper on exit, $maxfl flakes if set.
saver_settings() {
  mkdir -p "$1/cfg/WinterHollow" "$1/home"
  {
    printf '[Settings]\nSpeed=5\nWallpaper=0\n'
    if [ -n "$maxfl" ]; then printf 'maxFl=%s\n' "$maxfl"; fi
  } >"$1/cfg/WinterHollow/settings.ini"
}
