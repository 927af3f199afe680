#!/usr/bin/env bash
# Installs what is missing, builds the saver and its settings program (only
# them: ./test.sh builds the rest), and starts the saver on the current display.
set -euo pipefail
cd "$(dirname "$0")"
.ci/install-deps
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target winterhollow winterhollow-config
exec build/src/platform/x11/winterhollow "$@"
