#!/usr/bin/env bash
# Front door of the project: "./corvane.sh run" and "./corvane.sh test" (and
# "./corvane.sh package" for the Debian package).
# Both install what the project needs on a Debian 12 machine, then build.
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$(pwd)

PACKAGES=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev libqt6opengl6-dev
  libepoxy-dev libegl-dev libgl1-mesa-dri libegl-mesa0
  libtinyxml-dev
  libpng-dev libjpeg-dev zlib1g-dev libgif-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev
  libxrandr-dev libx11-dev libhidapi-dev libxss-dev libxext-dev
  libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
  fonts-liberation fonts-dejavu-core
  xvfb xauth xdotool x11-xserver-utils xserver-xorg-core xserver-xorg-video-dummy
  dpkg-dev desktop-file-utils shared-mime-info
  qt6-httpserver-dev qt6-websockets-dev liblo-dev
)

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

njobs() { nproc 2>/dev/null || echo 2; }

build_release() {
  cmake -S "$ROOT" -B "$ROOT/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release
  cmake --build "$ROOT/build/release" -j "$(njobs)"
}

build_debug() {
  cmake -S "$ROOT" -B "$ROOT/build/debug" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCORVANE_SANITIZE=ON
  cmake --build "$ROOT/build/debug" -j "$(njobs)"
}

build_fuzz() {
  if ! command -v clang++ >/dev/null; then echo "clang++ missing: fuzz targets skipped"; return 1; fi
  CC=clang CXX=clang++ cmake -S "$ROOT" -B "$ROOT/build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCORVANE_FUZZ=ON -DCORVANE_TESTS=OFF -DCORVANE_BENCH=OFF
  cmake --build "$ROOT/build/fuzz" -j "$(njobs)" --target corvane_fuzz_targets
}

# The stress tests (label "stress") once more, built with ThreadSanitizer.
build_tsan() {
  cmake -S "$ROOT" -B "$ROOT/build/tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCORVANE_TSAN=ON -DCORVANE_BENCH=OFF
  cmake --build "$ROOT/build/tsan" -j "$(njobs)" --target test_stress
}

run_tsan() {
  (cd "$ROOT/build/tsan" && QT_QPA_PLATFORM=offscreen \
    TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" \
    ctest -L stress --output-on-failure)
}

run_fuzz() {
  local seconds=${CORVANE_FUZZ_SECONDS:-20} status=0
  for target in "$ROOT"/build/fuzz/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    local name; name=$(basename "$target")
    local corpus="$ROOT/fuzz/corpus/${name#fuzz_}"
    local work; work=$(mktemp -d)
    [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
    echo "== $name (${seconds}s)"
    if ! ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp" \
        "$target" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 -max_len=1048576 \
        -print_final_stats=1 "$work" >"$work.log" 2>&1; then
      tail -n 60 "$work.log"; status=1
    else
      grep -E 'stat::number_of_executed_units|Done' "$work.log" | tail -n 2 || true
    fi
    rm -rf "$work" "$work.log"
  done
  return $status
}

test_env() {
  export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/runtime-$(id -u)}
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
  export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
  export LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp"
}

case "${1:-}" in
  run)
    install_packages
    build_release
    out="$ROOT/build/sample.corvane"
    export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/runtime-$(id -u)}
    mkdir -p -m 700 "$XDG_RUNTIME_DIR"
    # The page names its text file below its own folder.
    mkdir -p "$ROOT/build/titles" && cp "$ROOT/resources/samples/titles/role.txt" "$ROOT/build/titles/"
    "$ROOT/build/release/tools/cvtool" build "$ROOT/resources/samples/lower-third.json" "$out" --mode 0
    echo "Wrote $out"
    if [ -n "${DISPLAY:-}" ]; then
      # The editor, as the main instance, with the sample page open. A main
      # instance that already runs keeps the field: this one then ends at once.
      echo "Starting the editor: $ROOT/build/release/ui/corvane --open $out"
      exec "$ROOT/build/release/ui/corvane" --open "$out"
    fi
    cat <<EOT
No display (DISPLAY is not set): the editor needs an X server. To run it on a
virtual one:
  xvfb-run -a -s '-screen 0 1920x1080x24' $ROOT/build/release/ui/corvane --open $out
(add "--grab FILE.png" to write a picture of the window and end).
Meanwhile the offscreen demonstration:
EOT
    "$ROOT/build/release/tools/cvtool" info "$out" --mode 0
    # The text objects as the first playback strip draws them.
    for n in 2 3 4 5; do
      "$ROOT/build/release/tools/cvtool" text "$out" --object "$n" --mode 0 --at-ms 1500 \
          --out "$ROOT/build/sample-text-$n.png"
    done
    echo "Wrote $ROOT/build/sample-text-*.png"
    # Two seconds of the page through the render engine, offscreen.
    "$ROOT/build/release/tools/cvtool" render "$out" --mode 0 --to-ms 2000 --every 25 \
        --out "$ROOT/build/sample-render"
    ;;
  test)
    install_packages
    # The layering rule first: an include that reaches upward fails at once.
    "$ROOT/scripts/check-layers.sh"
    build_debug
    test_env
    status=0
    (cd "$ROOT/build/debug" && xvfb-run -a -s '-screen 0 1920x1080x24 -nolisten tcp' \
        ctest --output-on-failure -j "$(njobs)") || status=1
    if build_tsan; then run_tsan || status=1; else status=1; fi
    if build_fuzz; then run_fuzz || status=1; else status=1; fi
    exit $status
    ;;
  package)
    # The Debian package of the release build: the programs, the desktop entry,
    # the page files' MIME type, the icon, the example plug-ins and the demo page.
    install_packages
    build_release
    (cd "$ROOT/build/release" && cpack -G DEB)
    ls -1 "$ROOT"/build/release/corvane_*.deb
    ;;
  *)
    echo "usage: $0 run|test|package" >&2
    exit 2
    ;;
esac
