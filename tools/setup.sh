#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need; skips what is there.
set -euo pipefail
packages=(
  cmake g++ clang libclang-rt-14-dev pkg-config googletest
  # libxml2-dev for the fuzz build alone: the oracle the XML reader is held against.
  libcurl4-openssl-dev libxml2-dev libmnl-dev ca-certificates
  g++-mingw-w64-x86-64-posix wine64
  iproute2 nftables tcpdump openssl python3 miniupnpd-nftables miniupnpc natpmpc time
  xvfb xdotool
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
