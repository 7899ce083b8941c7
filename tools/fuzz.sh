#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each one for a while.
#   tools/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# Each target starts from its seed corpus (fuzz/corpus/<target>/) and keeps what it finds in
# build/fuzz/corpus/<target>/; a crash leaves its input in build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
tools/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)"
mkdir -p build/fuzz/findings
targets=("$@")
if ((${#targets[@]} == 0)); then
  mapfile -t targets < <(find build/fuzz/fuzz -maxdepth 1 -type f -name '*_fuzz' -executable -printf '%f\n' | sort)
fi
# Seeds kept elsewhere: the router documents the tests read, and the seeds of targets that read
# the same kind of document.
upnp_fixtures=tests/net/upnp/fixtures
declare -A shared_seeds=(
  [description_fuzz]="$upnp_fixtures"
  [xml_reader_fuzz]="$upnp_fixtures fuzz/corpus/description_fuzz fuzz/corpus/soap_fuzz"
)
failed=0
for t in "${targets[@]}"; do
  corpus=build/fuzz/corpus/$t
  mkdir -p "$corpus"
  seeds=()
  for source in "fuzz/corpus/$t" ${shared_seeds[$t]:-}; do
    [ -d "$source" ] && seeds+=("$source")
  done
  echo "=== $t: ${seconds}s ==="
  if ! build/fuzz/fuzz/"$t" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix=build/fuzz/findings/"$t"- "$corpus" "${seeds[@]}" 2>build/fuzz/"$t".log; then
    failed=1
    tail -40 build/fuzz/"$t".log
  fi
  grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' build/fuzz/"$t".log || true
done
exit $failed
