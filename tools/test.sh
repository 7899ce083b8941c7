#!/usr/bin/env bash
# Sets up and runs every test:
#   - the module layers: no source file includes a header of a module its own does not use;
#   - the Linux build's unit and loopback tests (g++), and the same under AddressSanitizer and
#     UndefinedBehaviorSanitizer (clang);
#   - the main loop and the worker hand-off under ThreadSanitizer;
#   - the end-to-end scenarios in simulated home networks, with the plain and the sanitizer
#     build of the program;
#   - the Windows cross build and its tests under Wine;
#   - the answers of the tables both platforms run, compared row by row;
#   - every fuzz target for a short while;
#   - the release: one more build of both programs, elsewhere, byte-identical to the presets'
#     own; the .exe's version resource and manifest; the .deb's lintian check and a scratch
#     install that refuses input that is not a terminal.
# Needs root (network namespaces). Stops at the first failing stage.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
jobs=$(nproc)
fuzz_seconds=${TALVO_FUZZ_SECONDS:-15}

stages=0
stage() { printf '\n=== %s ===\n' "$*"; stages=$((stages + 1)); }

stage "layers: includes follow src/modules.txt"
/usr/bin/python3 tools/check_layers.py

# The shared tables write their answers afresh on each run; stale ones must not be compared.
rm -rf build/linux/answers build/windows/answers

for preset in linux sanitize; do
  stage "$preset: build and test"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
  ctest --preset "$preset"
done

stage "tsan: main loop and worker hand-off"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j"$jobs" --target check_tests app_tests
ctest --preset tsan

stage "end to end"
tools/e2e.sh
stage "end to end, sanitizer build"
tools/e2e.sh --sanitize

stage "windows: cross build, tests under Wine"
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$jobs"
ctest --preset windows

stage "both platforms: every row of the shared tables answered alike"
/usr/bin/python3 tools/compare_answers.py build/linux/answers build/windows/answers

stage "fuzz: ${fuzz_seconds}s per target"
tools/fuzz.sh "$fuzz_seconds"

stage "release: reproducible builds, .exe resources, .deb"
tools/release.sh --check

# Every stage above stops the script on failure, so reaching here means all of them passed.
echo
echo "stages: $stages passed, 0 failed"
