#!/usr/bin/env bash
# Installs what is missing, builds, and then starts Linkhauler (run) or runs every test (test),
# the latter followed by a sanitizer build of the tests without a browser and short fuzz runs.
# Works as root and as a user with sudo; a second call reinstalls and rebuilds nothing needlessly.
set -euo pipefail

usage() { echo "usage: $0 run|test|build" >&2; exit 2; }
[ $# -ge 1 ] || usage
action=$1; shift
cd "$(dirname "$(readlink -f "$0")")"

packages=(
  cmake make g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqt6test6 libqt6sql6-sqlite
  qt6-webengine-dev qt6-webengine-dev-tools libqt6webenginecore6-bin libqt6webengine6-data
  libgl-dev libvulkan-dev libxkbcommon-dev
  libcurl4-openssl-dev libbenchmark-dev
  xvfb xauth fonts-dejavu-core fonts-liberation
  dpkg-dev file
)
# Only the test action needs these: clang with libFuzzer for the fuzz targets, the formatter,
# and the checkers of the Debian package and its desktop metadata.
test_packages=(clang libclang-rt-dev clang-format git lintian desktop-file-utils appstream)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"
  elif command -v sudo >/dev/null 2>&1; then sudo "$@"
  else echo "Installing packages needs root: run this again as root or install sudo." >&2; exit 1
  fi
}

install_missing() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() {
  # Configuring again is cheap and keeps what is already built.
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build --parallel "$(nproc)"
}

# After the whole suite: the tests that never start the browser engine again, built with
# the address and undefined-behaviour sanitizers, which stop a test at their first report.
sanitizer_tests() {
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLINKHAULER_SANITIZE=ON \
    -DLINKHAULER_BUILD_BENCHMARKS=OFF >/dev/null
  cmake --build build-asan --target lh_nobrowser_tests --parallel "$(nproc)"
  ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan -L nobrowser --output-on-failure --no-tests=error --parallel 2
}

# Then every fuzz target for a short while over its seed corpus; any finding fails.
fuzz_targets() {
  cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DLINKHAULER_FUZZ=ON -DLINKHAULER_BUILD_TESTS=OFF -DLINKHAULER_BUILD_BENCHMARKS=OFF >/dev/null
  cmake --build build-fuzz --target lh_fuzzers --parallel "$(nproc)"
  fuzz/run_fuzz.sh 20 build-fuzz
}

# Every tracked C++ file must be as clang-format writes it; `cmake --build build --target format`
# fixes them all.
format_check() {
  command -v clang-format >/dev/null || { echo "clang-format is missing: the format is not checked." >&2; return 1; }
  local unformatted
  unformatted=$(git ls-files -z -- '*.cpp' '*.h' | xargs -0 -r -n 20 clang-format --dry-run 2>&1 \
    | sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: warning: code should be clang-formatted.*/\1/p' | sort -u)
  if [ -n "$unformatted" ]; then
    echo "These files are not formatted (cmake --build build --target format fixes them):" >&2
    printf '  %s\n' $unformatted >&2
    return 1
  fi
}

timings=()
# Runs a step and notes how long it took; the notes are printed however the script ends.
timed() {
  local name=$1 start=$SECONDS
  shift
  "$@"
  timings+=("$name: $((SECONDS - start)) s")
}
print_timings() {
  [ ${#timings[@]} -eq 0 ] || { echo "Time taken:"; printf '  %s\n' "${timings[@]}"; }
}
trap print_timings EXIT

[ "$action" = test ] && packages+=("${test_packages[@]}")
timed "packages" install_missing
timed "build" build

case "$action" in
  build) ;;
  run)
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
      echo "No display: Linkhauler is a desktop program and needs an X11 or Wayland display." >&2
      echo "On a machine without one, start it under Xvfb: xvfb-run -a $0 run" >&2
      exit 1
    fi
    exec build/bin/linkhauler "$@"
    ;;
  test)
    timed "format check" format_check
    export QT_QPA_PLATFORM=offscreen
    timed "tests" ctest --test-dir build --output-on-failure --no-tests=error --parallel 2 "$@"
    if [ $# -gt 0 ]; then
      echo "Tests chosen by hand: the sanitizer build and the fuzz targets are left out."
    else
      timed "sanitizer build and tests" sanitizer_tests
      timed "fuzz build and runs" fuzz_targets
    fi
    ;;
  *) usage ;;
esac
