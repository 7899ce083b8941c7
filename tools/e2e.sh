#!/usr/bin/env bash
# End-to-end scenarios: the Linux program in simulated home networks (network namespaces,
# miniupnpd, scripted routers), and the Windows program typed into in Wine's console window.
# Needs root. Prints PASS/FAIL per scenario and ends with "N passed, N failed"; exits non-zero
# on any failure.
#   tools/e2e.sh                 build the programs if needed and run every scenario
#   tools/e2e.sh --sanitize      the same with the AddressSanitizer/UBSan build of the Linux
#                                program (the Wine console cases are skipped)
#   tools/e2e.sh --peers         check the simulated worlds with curl/upnpc/natpmpc only
#   tools/e2e.sh NAME...         run some scenarios (tools/e2e.sh --list names them)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=linux
needs_build=1
args=()
for arg in "$@"; do
  case "$arg" in
    --sanitize) preset=sanitize ;;
    --peers|--list|-h|--help) needs_build=0; args+=("$arg") ;;
    *) args+=("$arg") ;;
  esac
done
binary_args=()
if ((needs_build)); then
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j2 --target talvo-netcheck >/dev/null
  for candidate in "build/$preset/talvo-netcheck" "build/$preset/src/app/talvo-netcheck"; do
    if [[ -x "$candidate" ]]; then binary_args=(--binary "$candidate"); break; fi
  done
  if [[ $preset == linux ]]; then
    cmake --preset windows >/dev/null
    # The program, and the test-only route-lookup stand-in its worlds load under Wine.
    cmake --build --preset windows -j2 --target talvo-netcheck iphlpapi_standin >/dev/null
    binary_args+=(--windows-binary "$PWD/build/windows/talvo-netcheck.exe")
  fi
fi
# Three worlds at a time: each mostly waits on its own timers.
exec /usr/bin/python3 tests/e2e/run.py -j 3 "${binary_args[@]}" "${args[@]}"
