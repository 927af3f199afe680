#!/usr/bin/env bash
# Installs what is missing, builds, and starts the saver on the current display.
set -euo pipefail
cd "$(dirname "$0")"
.ci/install-deps
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)"
if [ -x build/src/platform/x11/winterhollow ]; then
  exec build/src/platform/x11/winterhollow "$@"
fi
echo "The full-screen saver is not built yet; the core and its tests are (see ./test.sh)."
