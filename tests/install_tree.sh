#!/usr/bin/env bash
# The installation as a package holds it: programs, the desktop entry that opens a
# page file in an editor instance, the MIME type that makes "*.corvane" page files,
# the icon, and the example plug-ins and demo page. Run by ctest with the build
# folder as its argument.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
fail() { echo "FAIL: $*" >&2; exit 1; }
for f in bin/corvane bin/cvtool share/applications/corvane.desktop share/mime/packages/corvane.xml \
         share/icons/hicolor/scalable/apps/corvane.svg share/corvane/samples/lower-third.json \
         share/corvane/samples/logo/logo-00.png share/corvane/plugins/football/Football.plugin; do
  [ -e "$prefix/$f" ] || fail "$f is not installed"
done
[ -x "$prefix/bin/corvane" ] || fail "corvane is not executable"
desktop="$prefix/share/applications/corvane.desktop"
grep -qx 'Exec=corvane %f' "$desktop" || fail "the desktop entry does not hand the file to corvane"
grep -qx 'MimeType=application/x-corvane-page;' "$desktop" || fail "the desktop entry does not open page files"
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$desktop" || fail "desktop entry invalid"; fi
if command -v update-mime-database >/dev/null; then
  update-mime-database "$prefix/share/mime" >/dev/null 2>&1 || fail "update-mime-database refused the MIME type"
  grep -q '^application/x-corvane-page:\*\.corvane$' "$prefix/share/mime/globs" || fail "*.corvane is not a page file"
fi
echo "install tree complete"
