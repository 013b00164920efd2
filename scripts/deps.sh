#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the tests and the demo need and this
# machine lacks. Safe to run again: it does nothing when everything is there.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config make
  libgtest-dev libgmock-dev libbenchmark-dev
  libcurl4-openssl-dev libcrypto++-dev libfltk1.3-dev
  clang libclang-rt-14-dev
  nginx-light curl openssl python3 iproute2
  xvfb xdotool x11-apps imagemagick openbox
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
