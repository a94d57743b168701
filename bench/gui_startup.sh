#!/usr/bin/env bash
# The desktop program's start-up and resting cost, under Xvfb: time from process start to the panel's first
# paint, CPU use at rest off line and on line, and resident memory. Prints figures beside their goals; it
# asserts nothing. Usage: bench/gui_startup.sh BUILD_DIR [SECONDS]
#
# - First paint: the median of 5 plain starts with a fresh configuration, from the program's own report
#   (BRENWICK_REPORT_FIRST_PAINT=1: milliseconds since the kernel started the process).
# - CPU: `brenwick --demo` (a simulated board inside the same process, so its serving thread counts too),
#   utime+stime from /proc/PID/stat over SECONDS (default 10), first off line, then on line: Online is ticked
#   with xdotool by its key, Alt+O, and the program holding the board's pseudo-terminal open proves it.
# - Memory: VmRSS from /proc/PID/status at the end of the on-line span.
set -euo pipefail

build=${1:?usage: $0 BUILD_DIR [SECONDS]}
span=${2:-10}
exe="$(cd "$build" && pwd)/bin/brenwick"
[ -x "$exe" ] || { echo "no $exe: build the release preset first" >&2; exit 1; }

# Always on a private Xvfb, so that the figures do not depend on the desktop the script is started from.
if [ "${BRENWICK_BENCH_ON_XVFB:-}" != 1 ]; then
    for tool in xvfb-run xdotool; do
        command -v "$tool" > /dev/null || { echo "$tool is missing: run scripts/setup" >&2; exit 1; }
    done
    BRENWICK_BENCH_ON_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

work=$(mktemp -d)
pid=""
cleanup() {
    if [ -n "$pid" ] && kill -0 "$pid" 2> /dev/null; then
        kill "$pid" 2> /dev/null || true
        wait "$pid" 2> /dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

tick=$(getconf CLK_TCK)

# A fresh user for each run: settings, the single-instance socket and the home folder (Make Bin's output).
fresh_user() {
    local dir="$work/user$1"
    mkdir -p "$dir/config" "$dir/run" "$dir/home"
    chmod 700 "$dir/run"
    export XDG_CONFIG_HOME="$dir/config" XDG_RUNTIME_DIR="$dir/run" HOME="$dir/home"
}

# Starts the program in the background with the paint report on; sets pid and the stderr file.
start() {
    local n=$1
    shift
    fresh_user "$n"
    err="$work/err$n"
    : > "$err" # there before the background start opens it, for the first look
    BRENWICK_REPORT_FIRST_PAINT=1 "$exe" "$@" 2> "$err" &
    pid=$!
}

# Waits up to 20 s for the first-paint line; prints its milliseconds.
wait_first_paint() {
    local i
    for i in $(seq 200); do
        if grep -q '^first paint ' "$err"; then
            sed -n 's/^first paint \(-\?[0-9]*\)$/\1/p' "$err" | head -1
            return 0
        fi
        kill -0 "$pid" 2> /dev/null || break
        sleep 0.1
    done
    echo "the program did not paint its panel:" >&2
    cat "$err" >&2
    return 1
}

stop() {
    kill "$pid" 2> /dev/null || true
    wait "$pid" 2> /dev/null || true
    pid=""
}

cpu_ticks() {
    # utime and stime, fields 14 and 15, counted after the command name's closing parenthesis.
    sed 's/.*) //' "/proc/$pid/stat" | awk '{ print $12 + $13 }'
}

# Percent of one core used over the span.
cpu_percent() {
    local before after
    before=$(cpu_ticks)
    sleep "$span"
    after=$(cpu_ticks)
    awk -v d=$((after - before)) -v t="$tick" -v s="$span" 'BEGIN { printf "%.2f", 100 * d / t / s }'
}

open_ptys() {
    local count=0 fd
    for fd in /proc/"$pid"/fd/*; do
        case "$(readlink "$fd" 2> /dev/null)" in /dev/pts/*) count=$((count + 1)) ;; esac
    done
    echo "$count"
}

echo "== first paint (5 starts)"
paints=()
for n in 1 2 3 4 5; do
    start "$n"
    ms=$(wait_first_paint)
    stop
    paints+=("$ms")
    echo "start $n: $ms ms"
done
median=$(printf '%s\n' "${paints[@]}" | sort -n | sed -n 3p)

echo "== at rest, off line and on line (${span} s each)"
start 6 --demo
wait_first_paint > /dev/null
sleep 2 # past the start-up work
offline=$(cpu_percent)
echo "off line: ${offline}% of one core"

window=$(xdotool search --sync --onlyvisible --pid "$pid" | head -1)
before=$(open_ptys)
xdotool windowfocus --sync "$window"
xdotool key --clearmodifiers alt+o
online=""
for _ in $(seq 50); do
    if [ "$(open_ptys)" -gt "$before" ]; then
        online=yes
        break
    fi
    sleep 0.1
done
if [ -z "$online" ]; then
    echo "could not go on line: the program did not open the simulated board's port" >&2
    exit 1
fi
sleep 2 # connected, the device's first answers read
onlineCpu=$(cpu_percent)
rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status")
[ "$(open_ptys)" -gt "$before" ] || { echo "the program went off line during the measurement" >&2; exit 1; }
echo "on line: ${onlineCpu}% of one core"
stop

rssMb=$(awk -v k="$rss" 'BEGIN { printf "%.1f", k / 1024 }')
echo
echo "== results ($exe)"
printf '%-32s %10s   goal %s\n' "first paint (median of 5)" "${median} ms" "under 300 ms"
printf '%-32s %10s   goal %s\n' "CPU at rest, off line" "${offline} %" "under 1 % of one core"
printf '%-32s %10s   goal %s\n' "CPU at rest, on line" "${onlineCpu} %" "under 1 % of one core"
printf '%-32s %10s   goal %s\n' "resident memory, on line" "${rssMb} MB" "under 60 MB"
