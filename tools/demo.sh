#!/usr/bin/env bash
# Shows the program in a simulated home network: a PC namespace behind Debian's miniupnpd
# (UPnP IGD, NAT-PMP, PCP) with HTTPS address-echo services in a simulated internet. The
# program runs interactively in this terminal; the world is removed when it ends. Needs root.
#   tools/demo.sh [SCENARIO]     any scenario of tools/e2e.sh --list (default: the home router)
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target talvo-netcheck >/dev/null
exec /usr/bin/python3 tests/e2e/demo.py "$@"
