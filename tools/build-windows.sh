#!/usr/bin/env bash
# Cross-builds WinterHollow.scr with MinGW-w64:
#   tools/build-windows.sh [x86_64|i686|all] [extra cmake options]
# Output: build-win64/WinterHollow.scr and build-win32/WinterHollow.scr;
# WH_BUILD_PREFIX=dir/ puts them in dir/win64 and dir/win32 instead.
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:-x86_64}
shift || true
jobs=$(nproc 2>/dev/null || echo 2)
build() {
  local triple=$1 dir=$2
  shift 2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-$triple.cmake" "$@"
  cmake --build "$dir" -j"$jobs"
}
prefix=${WH_BUILD_PREFIX:-build-}
case "$arch" in
  x86_64) build x86_64 "${prefix}win64" "$@" ;;
  # There is no 32-bit Wine here to run the tests of the 32-bit build.
  i686) build i686 "${prefix}win32" -DWH_BUILD_TESTS=OFF "$@" ;;
  all) build x86_64 "${prefix}win64" "$@"; build i686 "${prefix}win32" -DWH_BUILD_TESTS=OFF "$@" ;;
  *) echo "usage: $0 [x86_64|i686|all] [cmake options]" >&2; exit 2 ;;
esac
