#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz (or in the build folder
# given second) and runs the bitmap decoder's fuzzer for the given number of
# seconds (default 60) from a seed corpus of pictures our own encoder writes,
# then the fuzzers of the text parsers, the settings file, the program's
# entry and the desktop-background memory file for a quarter of that time each. Exits non-zero on a finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
# A second argument names a build folder already configured for fuzzing
# (clang, the sanitizers, fuzzer-no-link and WH_BUILD_FUZZ=ON): test.sh's
# build-san.
build=${2:-build-fuzz}
if [ -z "${2:-}" ]; then
  flags="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined -g"
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS="$flags" \
    -DWH_BUILD_FUZZ=ON -DWH_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target fuzz_dib make_dib_seeds fuzz_text fuzz_ini fuzz_entry fuzz_memory
seeds="$build/fuzz/dib_seeds"
corpus="$build/fuzz/dib_corpus"
mkdir -p "$seeds" "$corpus"
"$build/fuzz/make_dib_seeds" "$seeds"
"$build/fuzz/fuzz_dib" -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=2048 \
  -timeout=10 -print_final_stats=1 -artifact_prefix="$build/fuzz/" "$corpus" "$seeds"
text_corpus="$build/fuzz/text_corpus"
mkdir -p "$text_corpus"
printf '/p 1234' >"$text_corpus/preview"
printf ' -1,5e3 ' >"$text_corpus/number"
"$build/fuzz/fuzz_text" -max_total_time=$(((seconds + 3) / 4)) -max_len=256 -timeout=10 \
  -print_final_stats=1 -artifact_prefix="$build/fuzz/text-" "$text_corpus"
ini_corpus="$build/fuzz/ini_corpus"
mkdir -p "$ini_corpus"
printf '; notes\n[Settings]\nmaxFl=110\nSpeedS=0.53\n\n[Other]\nx=y\n' >"$ini_corpus/settings"
"$build/fuzz/fuzz_ini" -max_total_time=$(((seconds + 3) / 4)) -max_len=1024 -timeout=10 \
  -print_final_stats=1 -artifact_prefix="$build/fuzz/ini-" "$ini_corpus"
entry_corpus="$build/fuzz/entry_corpus"
mkdir -p "$entry_corpus"
printf '\0/p\0001234' >"$entry_corpus/preview"
printf '0x1a\0-root\0--density\000150\0--seed\0007' >"$entry_corpus/daemon"
"$build/fuzz/fuzz_entry" -max_total_time=$(((seconds + 3) / 4)) -max_len=256 -timeout=10 \
  -print_final_stats=1 -artifact_prefix="$build/fuzz/entry-" "$entry_corpus"
memory_corpus="$build/fuzz/memory_corpus"
mkdir -p "$memory_corpus"
printf "gsettings org.gnome.desktop.background picture-uri\t'file:///usr/share/backgrounds/beach.jpg'\nxfconf /backdrop/screen0/monitor0/workspace0/last-image\t/home/u/forest.png\nroot\tpicture\n" >"$memory_corpus/memory"
"$build/fuzz/fuzz_memory" -max_total_time=$(((seconds + 3) / 4)) -max_len=2048 -timeout=10 \
  -print_final_stats=1 -artifact_prefix="$build/fuzz/memory-" "$memory_corpus"
