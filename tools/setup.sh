#!/usr/bin/env bash
# Installs the Debian packages this project needs; skips what is there.
#   tools/setup.sh         everything: building and running, testing, fuzzing, releasing
#   tools/setup.sh --run   only what building and running the Linux program needs
set -euo pipefail
# Building and running the Linux program. make: cmake only recommends it.
run_packages=(
  cmake make g++ pkg-config libcurl4-openssl-dev libmnl-dev ca-certificates
)
# Tests, sanitizers, the Windows cross build under Wine, end to end, fuzzing, benchmarks and
# releases. libxml2-dev for the fuzz build alone: the oracle the XML reader is held against.
test_packages=(
  clang libclang-rt-14-dev googletest libxml2-dev
  g++-mingw-w64-x86-64-posix wine64
  iproute2 nftables tcpdump openssl python3 miniupnpd-nftables miniupnpc natpmpc time
  xvfb xdotool
  git dpkg-dev file lintian man-db
)
packages=("${run_packages[@]}")
[[ ${1:-} == --run ]] || packages+=("${test_packages[@]}")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
