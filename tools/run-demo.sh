#!/usr/bin/env bash
# The demo of `make run`: the simulated transmitter on a pseudo-terminal, and a
# copy of the program in its own folder whose settings map COM1 to it. The
# settings of a normal run are never touched. Closing the window stops the
# simulator.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
demo="$build/demo"
link="$demo/ttyKTB"
mkdir -p "$demo"
cp "$build/app/ktbctl" "$demo/ktbctl"

if [ ! -f "$demo/ktbctl.ini" ]; then
    printf '[General]\nFrequency=100000\nLevel=115\nPreemphasis=0\nPortNum=0\nSend=0\n[Ports]\nCOM1=%s\n' \
        "$link" >"$demo/ktbctl.ini"
fi

"$build/tools/ktbsim/ktbsim" --link "$link" &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true' EXIT

for _ in $(seq 50); do
    [ -e "$link" ] && break
    sleep 0.1
done
[ -e "$link" ] || { echo "run-demo: the simulator did not start" >&2; exit 1; }

echo "run-demo: COM1 is the simulated transmitter ($link); press \"Send Now\"."
"$demo/ktbctl"
