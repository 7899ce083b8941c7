#!/usr/bin/env bash
# Installs what building and running the Linux program needs (nothing that only the tests
# use), builds it quietly and starts it in this terminal. The build log is in
# build/run/build.log and is shown only when the build fails.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh --run
log=build/run/build.log
mkdir -p build/run
# One line that counts up with make's percentages.
progress() {
  local line
  printf 'Building the network check...'
  while IFS= read -r line; do
    [[ $line =~ ^\[\ *([0-9]+)%\] ]] && printf '\rBuilding the network check... %3d%%' "${BASH_REMATCH[1]}"
  done
  return 0
}
set +e
{
  cmake --preset run && cmake --build --preset run -j"$(nproc)" --target talvo-netcheck
} 2>&1 | tee "$log" | progress
status=${PIPESTATUS[0]}
set -e
if ((status != 0)); then
  printf '\rBuilding the network check... failed\n'
  cat "$log" >&2
  exit "$status"
fi
printf '\rBuilding the network check... done\n'
exec build/run/talvo-netcheck
