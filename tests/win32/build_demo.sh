#!/usr/bin/env bash
# Builds config_dialog_demo.exe with MinGW-w64 from the portable core, the
# Win32 dialog and the pictures the Linux build has embedded:
#   tests/win32/build_demo.sh <linux build folder> <output folder>
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(cd "$1" && pwd)
out=$2
cxx=x86_64-w64-mingw32-g++-posix
command -v "$cxx" >/dev/null || { echo "SKIP: $cxx is not installed"; exit 77; }
mkdir -p "$out/obj"
# The error log's folder is made with the POSIX mkdir; MinGW's takes no mode.
printf '#include <io.h>\n#include <direct.h>\n#define mkdir(path, mode) mkdir(path)\n' > "$out/posix_shim.h"
srcs=(src/common/allgemein.cpp src/common/numeric.cpp src/common/numtext.cpp
  src/common/random.cpp src/common/runtime_error.cpp src/errors/err_scribe.cpp
  src/system/system.cpp src/startup/saver.cpp src/startup/settings.cpp
  src/dialogs/frm_config.cpp src/dialogs/frm_info.cpp src/dialogs/layout.cpp
  src/gfx/dib.cpp src/gfx/image.cpp src/gfx/resources.cpp
  src/platform/win32/config_dialog.cpp src/platform/win32/dialogs_win32_form.cpp
  tests/win32/config_dialog_demo.cpp "$build"/src/gfx/wh_resources/*.cpp)
objs=()
for s in "${srcs[@]}"; do
  o="$out/obj/$(echo "$s" | tr '/' '_').o"
  if [ ! -e "$o" ] || [ "$s" -nt "$o" ] || [ -n "$(find src -name '*.h' -newer "$o" | head -1)" ]; then
    "$cxx" -std=c++17 -O1 -Wall -include "$out/posix_shim.h" -Isrc -I"$build/src/generated" -c "$s" -o "$o"
  fi
  objs+=("$o")
done
"$cxx" "${objs[@]}" -o "$out/config_dialog_demo.exe" -static -mwindows -luxtheme
echo "$out/config_dialog_demo.exe"
