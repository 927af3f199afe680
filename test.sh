#!/usr/bin/env bash
# Builds everything and runs every test (unit, picture, end-to-end and a short
# fuzz run where the tools for it are present). The Windows saver is
# cross-built for both architectures first; the Linux suite runs the
# x86_64 one under Wine.
set -euo pipefail
cd "$(dirname "$0")"
if [ "${1:-}" = "--install" ]; then .ci/install-deps; fi
jobs=$(nproc 2>/dev/null || echo 2)
tools/build-windows.sh all
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
if command -v clang++ >/dev/null; then fuzz/run.sh 60; fi
