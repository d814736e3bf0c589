#!/usr/bin/env bash
# Takes a picture of the real window under a virtual X display:
#   tools/screenshot.sh BUILD_DIR OUTPUT.png [SCALE]
# The program runs from a copy in a temporary folder, so no settings file of a
# normal run is read or written.
set -euo pipefail

build=${1:?build directory}
output=${2:?output png}
scale=${3:-1}

work=$(mktemp -d)
cleanup() {
    [ -n "${app:-}" ] && kill "$app" 2>/dev/null || true
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

cp "$build/app/ktbctl" "$work/ktbctl"
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do
    DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
done

DISPLAY=$display QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale "$work/ktbctl" &
app=$!
for _ in $(seq 100); do
    id=$(DISPLAY=$display xwininfo -name "KTB7840 TX Control" 2>/dev/null | awk '/Window id:/ {print $4}') || true
    [ -n "${id:-}" ] && break
    sleep 0.1
done
[ -n "${id:-}" ] || { echo "window did not appear" >&2; exit 1; }
sleep 0.5
DISPLAY=$display import -window "$id" "$output"
echo "$output"
