#!/usr/bin/env bash
# Installs every Debian 12 package that building, testing and benchmarking Nimbra needs.
# Safe to run again; needs root (or sudo).
set -euo pipefail

packages=(
    build-essential g++ cmake ninja-build pkg-config git ccache
    libgtest-dev libgmock-dev libbenchmark-dev libnoise-dev
    libopenimageio-dev openimageio-tools libcpp-httplib-dev
    nlohmann-json3-dev libcli11-dev libtbb-dev libhwy-dev
    # the farm tests run a one-node Slurm cluster (scripts/local-slurm.sh)
    slurm-wlm munge
    # the studio's browser test drives Debian's Chromium
    chromium
)
# Node.js and npm run the browser test's driver; a machine that already has npm (say from
# Node.js's own packages) keeps it, as Debian's npm would conflict with it.
command -v npm >/dev/null || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "setup: all packages present"
else
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The browser test's driver, at the version its lock file pins.
browser_tests="$(dirname "$0")/../tests/browser"
if [ ! -d "$browser_tests/node_modules/playwright-core" ]; then
    npm ci --prefix "$browser_tests" --no-audit --no-fund
fi
