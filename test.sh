#!/usr/bin/env bash
# Builds everything and runs every test (unit, picture, end-to-end, the long
# run across the clock's wraps). The Windows saver is cross-built for both
# architectures first; the Linux suite runs the x86_64 one under Wine. The
# packages (.deb and Windows zip) are built and checked next. It then builds
# the suite again in build-san with AddressSanitizer,
# UndefinedBehaviorSanitizer, LeakSanitizer and the standard library's
# assertions and runs it there, with a short fuzz run of
# the same build where clang is present.
#   ./test.sh [--install] [--quick]    --quick: the plain build and its tests only
set -euo pipefail
cd "$(dirname "$0")"
install=0
quick=0
for arg in "$@"; do
  case "$arg" in
    --install) install=1 ;;
    --quick) quick=1 ;;
    *) echo "usage: $0 [--install] [--quick]" >&2; exit 2 ;;
  esac
done
if [ "$install" = 1 ]; then .ci/install-deps; fi
jobs=$(nproc 2>/dev/null || echo 2)
tools/build-windows.sh all
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}"
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
if [ "$quick" = 1 ]; then exit 0; fi

# The .deb and the Windows zip, built from fresh Release builds and checked
# as a user meets them: the .deb is installed into this machine's /usr and
# purged again, so that part needs root (as CI has).
if [ "$(id -u)" = 0 ]; then
  tests/package/check_packages.sh
else
  echo "test.sh: not root, so the packages are not built and checked (tests/package/check_packages.sh)"
fi

# Every test again with the sanitizers: any leak (but the system libraries'
# own, .ci/lsan.supp), undefined behaviour or bad access fails it. The long
# run covers two hours around each wrap there: the instrumented ticks are
# many times slower. The Windows saver's tests under Wine and the README's
# pictures run once, above: neither runs instrumented code of ours.
# With clang the same build also carries the fuzz targets, which then run
# for a short while.
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
san_config=()
if command -v clang++ >/dev/null; then
  sanitize="$sanitize -fsanitize=fuzzer-no-link"
  san_config=(-DCMAKE_CXX_COMPILER=clang++ -DWH_BUILD_FUZZ=ON)
fi
cmake -S . -B build-san -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  "${san_config[@]}" -DCMAKE_CXX_FLAGS="$sanitize -D_GLIBCXX_ASSERTIONS" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
cmake --build build-san -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  LSAN_OPTIONS="suppressions=$PWD/.ci/lsan.supp:print_suppressions=0" \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  WH_LONG_RUN_HOURS=2 \
  ctest --test-dir build-san --output-on-failure -j"$jobs" \
  -E 'Wine|wine|windows_imports|readme_pictures'

if [ "${#san_config[@]}" -gt 0 ]; then
  LSAN_OPTIONS="suppressions=$PWD/.ci/lsan.supp:print_suppressions=0" fuzz/run.sh 60 build-san
fi
