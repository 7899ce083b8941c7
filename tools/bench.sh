#!/usr/bin/env bash
# Benchmarks: how fast the real program answers in the simulated home networks of the
# end-to-end harness (miniupnpd, a silent router), next to upnpc/natpmpc, plus its memory,
# CPU time and the Windows .exe's size and imports. Needs root. Prints one table.
#   tools/bench.sh                  7 runs per figure
#   tools/bench.sh --runs 3         fewer runs
#   tools/bench.sh --only responsive,silent,esc,slow,exe
#   tools/bench.sh --no-exe         skip the Windows build
set -euo pipefail
cd "$(dirname "$0")/.."
build_exe=1
args=()
for arg in "$@"; do
  case "$arg" in
    --no-exe) build_exe=0 ;;
    *) args+=("$arg") ;;
  esac
done
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target talvo-netcheck talvo-probe-timer >/dev/null
find_one() { for c in "$@"; do [[ -f "$c" ]] && { echo "$c"; return; }; done; }
binary=$(find_one build/linux/talvo-netcheck build/linux/src/app/talvo-netcheck)
timer=$(find_one build/linux/talvo-probe-timer build/linux/bench/talvo-probe-timer)
exe_args=()
if ((build_exe)); then
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j2 --target talvo-netcheck >/dev/null
  exe=$(find_one build/windows/talvo-netcheck.exe build/windows/src/app/talvo-netcheck.exe)
  [[ -n "$exe" ]] && exe_args=(--exe "$exe")
fi
exec /usr/bin/python3 bench/bench.py --binary "$binary" --probe-timer "$timer" "${exe_args[@]}" "${args[@]}"
