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
# Targets that read the same kind of document start from each other's seeds as well.
declare -A shared_seeds=([xml_syntax_fuzz]="description_fuzz soap_fuzz")
failed=0
for t in "${targets[@]}"; do
  corpus=build/fuzz/corpus/$t
  mkdir -p "$corpus"
  seeds=()
  for source in "$t" ${shared_seeds[$t]:-}; do
    [ -d "fuzz/corpus/$source" ] && seeds+=("fuzz/corpus/$source")
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
