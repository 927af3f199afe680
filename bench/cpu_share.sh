# Shared by the measuring scripts (sourced): a process's CPU time and its
# share of one core, and the median of a list of numbers.
#
# cpu_time PID     CPU time the kernel booked for PID, in units of
#                  $per_second: the scheduler's nanoseconds summed over its
#                  threads (/proc/PID/task/*/schedstat) where the kernel
#                  keeps them, else the clock ticks of /proc/PID/stat.
# share DELTA SECS a CPU time difference as a percentage of one core.
# median           the median of the numbers on standard input, one decimal.

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
