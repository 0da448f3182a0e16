#!/usr/bin/env bash
# Builds Nimbra with AddressSanitizer and UndefinedBehaviorSanitizer into build-test/ and runs
# every test through CTest. Prints how long each step took and, with ccache, how many
# compilations came from the cache.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${NIMBRA_TEST_BUILD_DIR:-build-test}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

# Hits and misses so far: "hits misses".
ccache_counts() {
    ccache --print-stats 2>/dev/null | awk '
        $1 == "direct_cache_hit" || $1 == "preprocessed_cache_hit" { hits += $2 }
        $1 == "cache_miss" { misses += $2 }
        END { print hits + 0, misses + 0 }'
}
have_ccache=0
command -v ccache >/dev/null && have_ccache=1
[ "$have_ccache" = 1 ] && read -r hits0 misses0 < <(ccache_counts)

start=$SECONDS
# Benchmarks are built too (not run), so that a change that breaks one shows here.
cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBRA_SANITIZE=ON \
    -DNIMBRA_BUILD_TESTS=ON -DNIMBRA_BUILD_BENCH=ON
configured=$SECONDS
cmake --build "$build" -j "$(nproc)"
built=$SECONDS
status=0
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" || status=$?
tested=$SECONDS

echo "test.sh: configure $((configured - start)) s, build $((built - configured)) s," \
    "tests $((tested - built)) s"
if [ "$have_ccache" = 1 ]; then
    read -r hits1 misses1 < <(ccache_counts)
    hits=$((hits1 - hits0)) misses=$((misses1 - misses0))
    total=$((hits + misses))
    if [ "$total" -gt 0 ]; then
        echo "test.sh: ccache: $hits of $total compilations from the cache" \
            "($((100 * hits / total))%)"
    else
        echo "test.sh: ccache: nothing compiled"
    fi
fi
exit "$status"
