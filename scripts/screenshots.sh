#!/usr/bin/env bash
# Pictures of the editor's main states for the developer to look at (and the
# README's): an empty page, the demo page with an object selected, text edited in
# place, the output on, and the preview. Each is a separate run of the editor on a virtual
# display with its own temporary settings, so the user's are never touched.
# usage: scripts/screenshots.sh [OUTPUT_FOLDER]   (default build/screenshots)
# CORVANE_BIN and CVTOOL_BIN choose the binaries (default: the release build).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BIN=${CORVANE_BIN:-$ROOT/build/release/ui/corvane}
CVTOOL=${CVTOOL_BIN:-$ROOT/build/release/tools/cvtool}
OUT=$(mkdir -p "${1:-$ROOT/build/screenshots}" && cd "${1:-$ROOT/build/screenshots}" && pwd)
for tool in "$BIN" "$CVTOOL"; do
  [ -x "$tool" ] || { echo "missing $tool: build first (./corvane.sh run builds the release)" >&2; exit 1; }
done
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing (package xvfb)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p -m 700 "$XDG_RUNTIME_DIR" "$HOME"
page="$work/pages/sample.corvane"
mkdir -p "$work/pages/titles"
cp "$ROOT/resources/samples/titles/role.txt" "$work/pages/titles/"
"$CVTOOL" build "$ROOT/resources/samples/lower-third.json" "$page" --mode 0 >/dev/null
# A virtual display has no second screen: the debug window stands in for the output.
"$CVTOOL" settings Debug Window 1 >/dev/null
# No first-start wizard: these pictures are of the editor.
"$CVTOOL" settings View FirstTimeSetup 0 >/dev/null
# The pages browser shows the folder with the demo page, a second page and a script.
mkdir -p "$work/pages/News"
cp "$page" "$work/pages/News/Opening titles.corvane"
printf '<?xml version="1.0"?>\n<script/>\n' > "$work/pages/News/Rundown.script"
"$CVTOOL" settings Preferences RootFolder "$work/pages" >/dev/null

shot() {
  local name=$1; shift
  xvfb-run -a -s '-screen 0 1920x1080x24 -nolisten tcp' "$BIN" "$@" --grab "$OUT/$name.png" 2>"$work/$name.log" ||
    { cat "$work/$name.log" >&2; echo "could not take $name" >&2; return 1; }
}
shot empty
shot demo-selected --open "$page" --state select=2
shot editing --open "$page" --state select=2,edit
shot output-on --open "$page" --state select=1,output,play
shot preview --open "$page" --state preview,play
