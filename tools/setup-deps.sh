#!/usr/bin/env bash
# Installs the Debian packages the project needs, and only those that are
# missing, so a second run costs a dpkg query and nothing else.
#   tools/setup-deps.sh            build, tests and the demo
#   tools/setup-deps.sh bench      ... plus what the benchmarks compare against
#   tools/setup-deps.sh fuzz       ... plus the fuzzing tool chain
#   tools/setup-deps.sh soak       ... plus what drives the window in `make soak`
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  fonts-liberation
  xvfb xauth x11-utils imagemagick
  clang-format
  libxtst-dev desktop-file-utils appstream dpkg-dev
)

for group in "$@"; do
  case "$group" in
    bench) packages+=(cutecom gtkterm libx11-dev) ;;
    fuzz) packages+=(clang libclang-rt-14-dev) ;;
    soak) packages+=(xdotool) ;;
    *) echo "setup-deps: unknown group '$group'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
