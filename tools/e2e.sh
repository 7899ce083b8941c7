#!/usr/bin/env bash
# End-to-end scenarios: the Linux program in simulated home networks (network namespaces,
# miniupnpd, scripted routers). Needs root. Prints PASS/FAIL per scenario and ends with
# "N passed, N failed"; exits non-zero on any failure.
#   tools/e2e.sh                 build the program if needed and run every scenario
#   tools/e2e.sh --peers         check the simulated worlds with curl/upnpc/natpmpc only
#   tools/e2e.sh NAME...         run some scenarios (tools/e2e.sh --list names them)
set -euo pipefail
cd "$(dirname "$0")/.."

needs_build=1
for arg in "$@"; do
  case "$arg" in --peers|--list|-h|--help) needs_build=0 ;; esac
done
if ((needs_build)); then
  cmake --preset linux >/dev/null
  cmake --build --preset linux -j2 --target talvo-netcheck >/dev/null
fi
# Three worlds at a time: each mostly waits on its own timers.
exec /usr/bin/python3 tests/e2e/run.py -j 3 "$@"
