#!/usr/bin/env bash
# Sets up, builds and runs the network check on this machine.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$(nproc)" --target talvo-netcheck
exec build/linux/talvo-netcheck
