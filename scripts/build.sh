#!/usr/bin/env bash
# Configures and builds Nimbra (release) into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${NIMBRA_BUILD_DIR:-build}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release "$@"
cmake --build "$build" -j "$(nproc)"
