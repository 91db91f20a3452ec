#!/usr/bin/env bash
# Installs the build and test dependencies, then configures and builds Tabrix
# into ./build (or the folder given as the first argument, with further CMake
# arguments after it).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build_dir=${1:-build}
shift || true
cmake -S . -B "$build_dir" -G Ninja "$@" >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
