#!/usr/bin/env bash
# Builds the .deb and the Windows zip (tools/package.sh) and checks them as
# a user meets them: lintian on the .deb, then installing it with apt,
# running what it installed, purging it and finding no file left behind;
# and what the zip holds.
# Installs into this machine's /usr, so it runs as root (CI) only:
#   tests/package/check_packages.sh [--no-build]   --no-build: check dist/ as it is
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
build=1
for arg in "$@"; do
  case "$arg" in
    --no-build) build=0 ;;
    *) echo "usage: $0 [--no-build]" >&2; exit 2 ;;
  esac
done
if [ "$(id -u)" != 0 ]; then
  echo "check_packages.sh: installs a package, so it needs root" >&2
  exit 2
fi
fail() { echo "check_packages.sh: FAIL: $*" >&2; exit 1; }
if [ "$build" = 1 ]; then
  start=$SECONDS
  tools/package.sh
  echo "check_packages.sh: tools/package.sh took $((SECONDS - start)) s"
fi
shopt -s nullglob
debs=(dist/winterhollow_*.deb)
zips=(dist/WinterHollow-*-windows.zip)
[ "${#debs[@]}" = 1 ] || fail "expected one .deb in dist/, found ${#debs[@]}"
[ "${#zips[@]}" = 1 ] || fail "expected one zip in dist/, found ${#zips[@]}"
deb=$root/${debs[0]}
zip=$root/${zips[0]}
version=$(dpkg-deb -f "$deb" Version)
# The project's version, or a development build that sorts before it.
[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+(~git[0-9]{8}\.[0-9a-f]{7,})?$ ]] ||
  fail "the package's version $version is neither a release nor a marked development build"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

echo "== lintian"
# Errors and warnings fail; the notes (I:) are shown.
lintian_rc=0
lintian --fail-on error,warning --display-info "$deb" > "$tmp/lintian" 2>&1 || lintian_rc=$?
grep -v 'running with root privileges' "$tmp/lintian" || true
[ "$lintian_rc" = 0 ] || fail "lintian reports errors or warnings"

echo "== install"
export DEBIAN_FRONTEND=noninteractive
# A package left from an interrupted run would hide what this one installs.
if dpkg -s winterhollow >/dev/null 2>&1; then
  apt-get purge -y -qq winterhollow >/dev/null
fi
# Every path the package holds, and what is in its folders before: after the
# purge the same folders must hold the same, and the package's own files
# and folders must be gone.
dpkg-deb -c "$deb" | awk '{ p = $6; sub(/^\./, "", p); sub(/\/$/, "", p); if (p != "") print p }' |
  sort > "$tmp/paths"
snapshot() {
  while IFS= read -r p; do
    if [ -d "$p" ] && [ ! -L "$p" ]; then find "$p" -mindepth 1 -maxdepth 1; fi
  done < "$tmp/paths" | sort -u
}
snapshot > "$tmp/before"
while IFS= read -r p; do
  if [ -e "$p" ] || [ -L "$p" ]; then echo "$p"; fi
done < "$tmp/paths" > "$tmp/existing"
# Recommends (XScreenSaver) are left out: what is checked is this package.
apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
dpkg-query -W -f='${Status} ${Version}\n' winterhollow | grep -qx "install ok installed $version" ||
  fail "winterhollow $version is not installed"

dpkg -L winterhollow | sort > "$tmp/listed"
for f in /usr/libexec/xscreensaver/winterhollow /usr/bin/winterhollow-config \
         /usr/bin/winterhollow-render; do
  if [ ! -x "$f" ] || [ -L "$f" ]; then fail "$f is not an installed program"; fi
done
[ "$(readlink /usr/bin/winterhollow)" = ../libexec/xscreensaver/winterhollow ] ||
  fail "/usr/bin/winterhollow does not link to the hack"
for f in /usr/share/xscreensaver/config/winterhollow.xml \
         /usr/share/applications/screensavers/winterhollow.desktop \
         /usr/share/man/man6/winterhollow.6.gz /usr/share/man/man1/winterhollow-render.1.gz \
         /usr/share/man/man1/winterhollow-config.1.gz \
         /usr/share/doc/winterhollow/copyright /usr/share/doc/winterhollow/changelog.gz; do
  if ! grep -qx "$f" "$tmp/listed" || [ ! -f "$f" ]; then fail "$f is not installed by the package"; fi
done

echo "== run"
[ "$(command -v winterhollow)" = /usr/bin/winterhollow ] || fail "winterhollow is not found on PATH"
for program in winterhollow winterhollow-config winterhollow-render; do
  out=$("$program" --version) || fail "$program --version failed"
  echo "$out"
  [[ "$out" =~ ^$program\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "$program --version: '$out'"
  [[ "$version" == "${out#"$program "}"* ]] || fail "$program is $out, the package $version"
done
page=$(man -w winterhollow) || fail "man -w winterhollow found no page"
echo "$page"
[ "$page" = /usr/share/man/man6/winterhollow.6.gz ] || fail "man -w winterhollow: $page"
man -w winterhollow-render winterhollow-config >/dev/null || fail "a program's man page is missing"
# The installed pictures are whole: a scene renders from the package alone.
(cd "$tmp" && winterhollow-render --seed 3 --size 160x120 -o scene.png) ||
  fail "the installed winterhollow-render cannot render a scene"
[ "$(head -c8 "$tmp/scene.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
  fail "winterhollow-render did not write a PNG"

echo "== purge"
apt-get purge -y -qq winterhollow >/dev/null
if dpkg -s winterhollow >/dev/null 2>&1; then fail "dpkg still knows winterhollow"; fi
snapshot > "$tmp/after"
if ! diff "$tmp/before" "$tmp/after"; then fail "the purge left the folders above changed"; fi
while IFS= read -r p; do
  if { [ -e "$p" ] || [ -L "$p" ]; } && ! grep -qx "$p" "$tmp/existing"; then
    fail "$p is left after the purge"
  fi
done < "$tmp/paths"
echo "nothing left behind ($(grep -c . "$tmp/paths") paths checked)"

echo "== zip"
name=$(basename "$zip" .zip)
[ "$name" = "WinterHollow-$version-windows" ] || fail "the zip is $name, the .deb $version"
unzip -Z1 "$zip" | grep -v '/$' | sort > "$tmp/zip-files"
printf '%s\n' "$name/32-bit/WinterHollow.scr" "$name/64-bit/WinterHollow.scr" \
  "$name/LICENSE.txt" "$name/README.txt" "$name/THIRD-PARTY.txt" > "$tmp/zip-expected"
diff "$tmp/zip-expected" "$tmp/zip-files" || fail "the zip holds other files than these"
unzip -q "$zip" -d "$tmp/zip"
dir=$tmp/zip/$name
for pair in 64-bit:x86_64-w64-mingw32:pei-x86-64 32-bit:i686-w64-mingw32:pei-i386; do
  IFS=: read -r arch triple format <<<"$pair"
  scr=$dir/$arch/WinterHollow.scr
  # (Output read whole first: grep -q leaving early would fail the pipe.)
  headers=$("$triple-objdump" -f -p -h "$scr")
  grep -q "file format $format" <<<"$headers" || fail "$arch/WinterHollow.scr is not $format"
  # A GUI program (subsystem 2), stripped of its symbols.
  grep -qE '^Subsystem[[:space:]]+0*2[[:space:]]' <<<"$headers" ||
    fail "$arch/WinterHollow.scr is not a Windows GUI program"
  if grep -q '\.debug_' <<<"$headers"; then fail "$arch/WinterHollow.scr is not stripped"; fi
  # The version resource carries the project's version (UTF-16 text).
  texts=$(strings -el "$scr")
  grep -A1 -x FileVersion <<<"$texts" | grep -qx "${version%%~*}" ||
    fail "$arch/WinterHollow.scr has no version ${version%%~*}"
done
for text in README.txt LICENSE.txt THIRD-PARTY.txt; do
  # Windows line ends throughout, for Notepad.
  [ "$(grep -c $'\r$' "$dir/$text")" = "$(wc -l < "$dir/$text")" ] || fail "$text has Unix line ends"
done
grep -q "^WinterHollow $version for Windows" "$dir/README.txt" || fail "README.txt names no version"
grep -q 'HKEY_CURRENT_USER\\Software\\WinterHollow\\Settings' "$dir/README.txt" ||
  fail "README.txt does not say where the settings are"
grep -q 'Copyright (c) 2026 The WinterHollow authors' "$dir/LICENSE.txt" || fail "LICENSE.txt is not the licence"
grep -q 'Dominic Szablewski' "$dir/THIRD-PARTY.txt" || fail "THIRD-PARTY.txt lacks the QOI licence"
grep -q '^Files: mingw-w64-libraries/winpthreads' "$dir/THIRD-PARTY.txt" || fail "THIRD-PARTY.txt lacks the MinGW-w64 licences"
echo "check_packages.sh: both packages are good"
