#!/usr/bin/env bash
# Builds Nimbra with AddressSanitizer and UndefinedBehaviorSanitizer into build-test/ and runs
# every test through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${NIMBRA_TEST_BUILD_DIR:-build-test}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBRA_SANITIZE=ON
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
