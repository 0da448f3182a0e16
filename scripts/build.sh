#!/usr/bin/env bash
# Configures and builds Nimbra (release) into build/: the `nimbra` program and every module,
# which is all that rendering needs. With --all (or NIMBRA_BUILD_ALL=1) the tests and
# benchmarks are built too. Other arguments go to CMake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${NIMBRA_BUILD_DIR:-build}
all=${NIMBRA_BUILD_ALL:-0}
args=()
for arg in "$@"; do
    if [ "$arg" = --all ]; then all=1; else args+=("$arg"); fi
done
[ "$all" = 1 ] && extras=ON || extras=OFF
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DNIMBRA_BUILD_TESTS="$extras" -DNIMBRA_BUILD_BENCH="$extras" "${args[@]}"
cmake --build "$build" -j "$(nproc)"
