#!/usr/bin/env bash
# The README pictures' check must catch a picture that is no longer what its
# command makes: a copy of the README and docs/ with the night scene of the
# gallery replaced by its render from an older program (kept in data/) fails
# for that picture, and for it alone.
#   older_render_test.sh BUILD_DIR
set -euo pipefail
build=$1
src=$(cd "$(dirname "$0")/../.." && pwd)
for tool in convert compare; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$src/README.md" "$src/docs" "$work/"
cp "$src/tests/docs/data/seed-21-stale.jpg" "$work/docs/gallery/seed-21.jpg"
status=0
"$src/tools/readme-pictures.sh" -b "$build" --check -p "$work" > "$work/out" || status=$?
cat "$work/out"
[ "$status" = 1 ] || { echo "FAIL: the check ended with status $status, not 1"; exit 1; }
grep -q '^FAIL docs/gallery/seed-21.jpg: ' "$work/out" || { echo "FAIL: the older render passed"; exit 1; }
[ "$(grep -c '^FAIL' "$work/out")" = 1 ] || { echo "FAIL: other pictures failed too"; exit 1; }
echo PASS
