#!/usr/bin/env bash
# Plays the sample page live for a while, as on air, and reports what real time
# made of it: frames, rate, late frames, the longest interval and the render
# thread's time per phase. Real-time figures depend on the machine and its load,
# which is why they are measured here and never asserted by the tests.
#
#   scripts/soak.sh [SECONDS] [MODE]     (defaults: 600 s, mode 1 = 1080p50)
#
# Needs the release build (./corvane.sh run makes it) and Xvfb; the output runs in
# the window mode (Debug/Window) with settings of its own, so the user's are untouched.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
SECONDS_TO_RUN=${1:-600}
MODE=${2:-1}
CVTOOL="$ROOT/build/release/tools/cvtool"
[ -x "$CVTOOL" ] || { echo "soak: $CVTOOL is missing: run ./corvane.sh run first" >&2; exit 2; }
command -v xvfb-run >/dev/null || { echo "soak: xvfb-run is missing" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/runtime-$(id -u)}
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
mkdir -p "$XDG_CONFIG_HOME/Norvik" "$work/titles"
printf '[Debug]\nWindow=1\n' > "$XDG_CONFIG_HOME/Norvik/Corvane.ini"
cp "$ROOT/resources/samples/titles/role.txt" "$work/titles/"
cp "$ROOT/resources/samples/lower-third.json" "$work/"
"$CVTOOL" build "$work/lower-third.json" "$work/page.corvane" --mode "$MODE" >/dev/null

echo "soak: the sample page live for $SECONDS_TO_RUN s in mode $MODE (window mode, Xvfb)" >&2
result=$(env -u QT_QPA_PLATFORM xvfb-run -a -s '-screen 0 1920x1080x24 -nolisten tcp' \
  "$CVTOOL" output "$work/page.corvane" --mode "$MODE" --seconds "$SECONDS_TO_RUN")
echo "$result"
