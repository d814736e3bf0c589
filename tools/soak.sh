#!/usr/bin/env bash
# Soak: N send sequences of one running program against the simulated module.
#   tools/soak.sh [BUILD_DIR] [N]
# The program runs in a real window under Xvfb and "Send Now" is pressed N times
# with the keyboard, as an operator would, so that one process goes through every
# sequence: a descriptor or memory leak per sequence would pile up. Every byte the
# module receives is checked, and the program's open descriptors and resident
# memory are compared between the end of the first sequence and of the last.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
count=${2:-100}
[[ $count =~ ^[1-9][0-9]*$ ]] || { echo "soak: N must be a positive number" >&2; exit 2; }
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "soak: $tool is missing (tools/setup-deps.sh soak)" >&2; exit 2; }
done

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "soak: $*" >&2
    echo "soak: program stderr: $(cat "$work/ktbctl.err" 2>/dev/null)" >&2
    exit 1
}

# Polls a condition for up to $1 tenths of a second.
wait_for() {
    local tenths=$1
    shift
    for ((t = 0; t < tenths; t++)); do
        "$@" && return 0
        sleep 0.1
    done
    "$@"
}

frames_logged() { [ -f "$work/frames.log" ] && wc -l <"$work/frames.log" || echo 0; }
has_frames() { [ "$(frames_logged)" -ge "$1" ]; }
fd_count() { ls "/proc/$program/fd" | wc -l; }
rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$program/status"; }

# A display of our own: Xvfb picks a free number and tells it on descriptor 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.err" &
pids+=($!)
wait_for 100 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.err")"
export DISPLAY=":$(head -n 1 "$work/display")"

link="$work/ttyKTB"
"$build/tools/ktbsim/ktbsim" --link "$link" --log "$work/frames.log" >"$work/ktbsim.out" 2>&1 &
pids+=($!)
wait_for 100 grep -q '^ktbsim: listening on' "$work/ktbsim.out" || fail "ktbsim did not start"

# A copy of the program whose settings map COM1 to the simulator and send nothing
# at start-up: every sequence comes from a key press.
mkdir -p "$work/program" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
cp "$build/app/ktbctl" "$work/program/ktbctl"
printf '[General]\nFrequency=98500\nLevel=95\nPreemphasis=1\nPortNum=0\nSend=0\n[Ports]\nCOM1=%s\n' \
    "$link" >"$work/program/ktbctl.ini"
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/runtime" \
    "$work/program/ktbctl" >"$work/ktbctl.out" 2>"$work/ktbctl.err" &
program=$!
pids+=($program)

window=$(timeout 30 xdotool search --sync --onlyvisible --pid "$program" | head -n 1) ||
    fail "the window did not appear"
xdotool windowfocus --sync "$window"
# The focus starts in the frequency field; three tab stops on is "Send Now".
xdotool key --delay 50 Tab Tab Tab

# 98500 kHz is 9850 (0x267A) tens of kHz, level 95 (0x5F), pre-emphasis index 1.
pass='01 26 7A 02 5F 00 03 00 00 04 00 01'
sequence=$(printf '%s\n' $pass $pass)

retries=0
for ((i = 1; i <= count; i++)); do
    before=$(frames_logged)
    # A press that arrives while the previous sequence still ends is ignored by
    # design; press again when no frame follows.
    for attempt in 1 2 3 4 5; do
        xdotool key space
        wait_for 30 has_frames $((before + 1)) && break
        [ "$attempt" -lt 5 ] || fail "sequence $i: no frame after 5 presses"
        retries=$((retries + 1))
    done
    wait_for 100 has_frames $((before + 8)) || fail "sequence $i: only $(($(frames_logged) - before)) frames"
    # Let the sequence close the port before the next press.
    sleep 0.3
    kill -0 "$program" 2>/dev/null || fail "the program ended during sequence $i"
    if [ "$i" -eq 1 ]; then
        fds_first=$(fd_count)
        rss_first=$(rss_kib)
    fi
done
fds_last=$(fd_count)
rss_last=$(rss_kib)

# Every byte, in order: N times the 24 bytes of one sequence, nothing else.
[ "$(frames_logged)" -eq $((8 * count)) ] || fail "$(frames_logged) frames logged, expected $((8 * count))"
expected=$(for ((i = 0; i < count; i++)); do echo "$sequence"; done)
received=$(cut -d' ' -f2- "$work/frames.log" | tr ' ' '\n')
[ "$received" = "$expected" ] || fail "the bytes received differ from $count sequences of: $pass $pass"
[ ! -s "$work/ktbctl.err" ] || fail "the program reported an error"

echo "soak: $count sequences, $((24 * count)) bytes checked, $retries presses repeated"
echo "soak: open descriptors $fds_first after the first sequence, $fds_last after the last"
echo "soak: resident memory $rss_first KiB after the first sequence, $rss_last KiB after the last"
[ "$fds_last" -le "$fds_first" ] || fail "descriptors leak: $fds_first -> $fds_last"
# A coarse bound: the allocator's noise stays well below it, a leak of a few
# hundred bytes per sequence passes it only in a long run (N in the thousands).
[ $((rss_last - rss_first)) -le 2048 ] || fail "resident memory grew by $((rss_last - rss_first)) KiB"
