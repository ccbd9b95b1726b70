#!/usr/bin/env bash
# Installs the Debian packages Brakkan needs to build, run and test.
# Quiet and idempotent: packages already present are left alone.
set -euo pipefail

packages=(
  g++ cmake make pkg-config
  libsdl2-dev libode-dev duktape-dev libpng-dev zlib1g-dev libgl-dev
  libfreetype-dev fonts-dejavu-core
  xvfb xauth libgl1-mesa-dri x11-utils imagemagick xdotool povray
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    sudo_cmd=(sudo)
  else
    echo "setup: missing packages (${missing[*]}) and not root, and sudo is not available" >&2
    exit 1
  fi
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if ! "${sudo_cmd[@]}" apt-get update -qq >/dev/null; then
  echo "setup: apt-get update failed" >&2
  exit 1
fi
if ! "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
  echo "setup: apt-get install failed for: ${missing[*]}" >&2
  exit 1
fi
