#!/usr/bin/env bash
# Builds the packages people install, each from a fresh Release build:
#   dist/winterhollow_<version>_<arch>.deb       Debian and Ubuntu
#   dist/WinterHollow-<version>-windows.zip      the 64-bit and 32-bit .scr
# The version is the project's (CMakeLists.txt). A commit tagged v<version>
# is that release; any other build is marked as coming before it, e.g.
# 1.0.0~git20261206.abc1234 (date and hash of the commit).
#   tools/package.sh [--deb-only | --zip-only | --print-version]
# Needs dpkg-dev (dpkg-shlibdeps), zip and the Windows cross compilers
# (see tools/build-windows.sh); the builds go to build-pkg/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
want_deb=1
want_zip=1
print_version=0
for arg in "$@"; do
  case "$arg" in
    --deb-only) want_zip=0 ;;
    --zip-only) want_deb=0 ;;
    --print-version) print_version=1 ;;
    *) echo "usage: $0 [--deb-only | --zip-only | --print-version]" >&2; exit 2 ;;
  esac
done
umask 022
export LC_ALL=C.UTF-8 TZ=UTC

version=$(sed -n 's/^project(WinterHollow VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
if [ -z "$version" ]; then
  echo "package.sh: no project version in CMakeLists.txt" >&2
  exit 1
fi
# Files carry the commit's time, so the same commit gives the same packages.
commit_time=$(git log -1 --format=%ct 2>/dev/null || date +%s)
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$commit_time}
if git rev-parse --git-dir >/dev/null 2>&1; then
  if git describe --exact-match --tags --match "v$version" >/dev/null 2>&1; then
    pkg_version=$version
    change="Release $version."
  else
    day=$(date -u -d "@$commit_time" +%Y%m%d)
    hash=$(git rev-parse --short=7 HEAD)
    pkg_version="$version~git$day.$hash"
    change="Development build of commit $hash."
    if ! git diff --quiet HEAD 2>/dev/null; then change="$change With changes not yet committed."; fi
  fi
else
  pkg_version=$version
  change="Build of WinterHollow $version."
fi
if [ "$print_version" = 1 ]; then
  echo "$pkg_version"
  exit 0
fi
echo "package.sh: version $pkg_version"

jobs=$(nproc 2>/dev/null || echo 2)
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
out=$root/build-pkg
dist=$root/dist
rm -rf "$out"
mkdir -p "$out" "$dist"

# Gives every staged file the commit's time, so that the archives do not
# depend on when they were made.
settle_times() {
  find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

build_deb() {
  # The staged tree is where dpkg-shlibdeps expects a package's files, beside
  # the debian/control it wants to read.
  local build=$out/linux top=$out/deb
  local stage=$top/debian/winterhollow
  # Debian's hardening flags (without its -O2 and -g: Release optimises,
  # the programs are stripped).
  local cppflags cxxflags ldflags
  cppflags=$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CPPFLAGS)
  cxxflags=$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CXXFLAGS |
             sed -E 's/(^| )(-g|-O[0-9s]?|-ffile-prefix-map=[^ ]*)( |$)/ /g')
  ldflags=$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get LDFLAGS)
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWH_BUILD_TESTS=OFF \
    -DCMAKE_INSTALL_PREFIX=/usr "${launcher[@]}" \
    -DCMAKE_CXX_FLAGS="$cppflags $cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags"
  cmake --build "$build" -j"$jobs"
  DESTDIR=$stage cmake --install "$build" >/dev/null

  local doc=$stage/usr/share/doc/winterhollow
  mkdir -p "$doc"
  install -m644 packaging/debian/copyright "$doc/copyright"
  cat > "$doc/changelog" <<EOF
winterhollow ($pkg_version) unstable; urgency=medium

  * $change

 -- $maintainer  $(date -u -R -d "@$SOURCE_DATE_EPOCH")
EOF
  gzip -9n "$doc/changelog"
  find "$stage/usr/share/man" -type f -name '*.[0-9]' -exec gzip -9n {} +

  # Depends: the libraries the programs link, as dpkg-shlibdeps finds them
  # (it knows the package's root by its DEBIAN folder).
  mkdir -p "$stage/DEBIAN"
  local programs=() f
  while IFS= read -r f; do programs+=("$f"); done < <(
    cd "$top" && find debian/winterhollow -type f -perm -u+x \
      -exec sh -c 'head -c4 "$1" | grep -q ELF' _ {} \; -print | sort)
  # cmake --install stripped the symbols; these two sections are no use either.
  (cd "$top" && strip --remove-section=.comment --remove-section=.note "${programs[@]}")
  printf 'Source: winterhollow\n\nPackage: winterhollow\nArchitecture: any\n' \
    > "$top/debian/control"
  local depends
  depends=$(cd "$top" && dpkg-shlibdeps -O "${programs[@]}" | sed -n 's/^shlibs:Depends=//p')
  if [ -z "$depends" ]; then
    echo "package.sh: dpkg-shlibdeps found no libraries" >&2
    exit 1
  fi

  local arch
  arch=$(dpkg --print-architecture)
  (cd "$stage" && find usr -type f -printf '%P\0' | sort -z |
     xargs -0 -I{} md5sum usr/{}) > "$stage/DEBIAN/md5sums"
  cat > "$stage/DEBIAN/control" <<EOF
Package: winterhollow
Version: $pkg_version
Architecture: $arch
Maintainer: $maintainer
Installed-Size: $(du -sk --exclude=DEBIAN "$stage" | cut -f1)
Depends: $depends
Recommends: xscreensaver, fonts-comic-neue
Section: x11
Priority: optional
Description: winter landscape screen saver with falling snow
 WinterHollow composes a random snowy landscape (sky, moon and clouds,
 hills, sea, a city or a village, forests, houses, a fence and a snowman)
 where snow falls and settles, clouds drift, and birds or an aeroplane
 with a banner cross the sky. Every few minutes a new landscape is
 composed, and the last one can stay as the desktop wallpaper.
 .
 The package holds the XScreenSaver hack with its settings description,
 a desktop file for MATE and Xfce, the settings dialog
 (winterhollow-config) and winterhollow-render, which writes scenes as PNG
 files without a display.
EOF
  settle_times "$stage"
  local deb=$dist/winterhollow_${pkg_version}_$arch.deb
  rm -f "$dist"/winterhollow_*.deb
  dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
  echo "package.sh: wrote ${deb#"$root"/}"
}

build_zip() {
  WH_BUILD_PREFIX=$out/ tools/build-windows.sh all -DCMAKE_BUILD_TYPE=Release \
    -DWH_BUILD_TESTS=OFF "${launcher[@]}"
  local name=WinterHollow-$pkg_version-windows
  local stage=$out/zip/$name
  mkdir -p "$stage/64-bit" "$stage/32-bit"
  x86_64-w64-mingw32-strip -o "$stage/64-bit/WinterHollow.scr" "$out/win64/WinterHollow.scr"
  i686-w64-mingw32-strip -o "$stage/32-bit/WinterHollow.scr" "$out/win32/WinterHollow.scr"
  # Text files with Windows line ends, for Notepad.
  local text
  for text in packaging/windows/README.txt LICENSE THIRD-PARTY.md; do
    local base=${text##*/}
    sed 's/$/\r/' "$text" > "$stage/${base%.*}.txt"
  done
  sed -i "s/@VERSION@/$pkg_version/" "$stage/README.txt"
  # The runtime linked into the .scr asks for its notices to travel with it.
  local runtime=/usr/share/doc/mingw-w64-common/copyright
  {
    printf '\n\n## The MinGW-w64 runtime, file by file\n\n'
    printf 'As Debian lists them (%s):\n\n' "$runtime"
    cat "$runtime"
  } | sed 's/$/\r/' >> "$stage/THIRD-PARTY.txt"
  settle_times "$out/zip"
  local zip=$dist/$name.zip
  rm -f "$dist"/WinterHollow-*-windows.zip
  (cd "$out/zip" && find "$name" | sort | zip -X -q -@ "$zip")
  echo "package.sh: wrote ${zip#"$root"/}"
}

maintainer=${WH_MAINTAINER:-The WinterHollow authors <winterhollow@users.noreply.example>}
if [ "$want_deb" = 1 ]; then build_deb; fi
if [ "$want_zip" = 1 ]; then build_zip; fi
