#!/usr/bin/env bash
# Builds Tidings and runs every test suite: Linux (gcc), Linux under AddressSanitizer and
# UndefinedBehaviorSanitizer, Linux under ThreadSanitizer, Windows x64 and x86 cross-built with
# mingw-w64 and run under Wine, and a minute of fuzzing the message-file reader. On a fresh Debian 12
# machine it first installs what it needs.
#
#   scripts/test-all.sh [suite ...]      suites: linux asan tsan win64 win32 fuzz (default: all)
#
# Build trees go to build/<suite>. Exits non-zero when any suite fails.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc 2>/dev/null || echo 2)
suites=("$@")
[ ${#suites[@]} -gt 0 ] || suites=(linux asan tsan win64 win32 fuzz)

# shellcheck source=scripts/install-deps.sh
source "$root/scripts/install-deps.sh"
install_deps "${suites[@]}"

configure_and_test() {
  local suite=$1
  shift
  local dir="$root/build/$suite"
  echo "==== $suite: configure"
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIDINGS_WERROR=ON \
    -DTIDINGS_SETTINGS_FILE="$dir/test-registry.reg" "$@" >"$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; return 1; }
  echo "==== $suite: build"
  cmake --build "$dir" -j"$jobs" || return 1
  # Without Google Benchmark the build leaves the benchmarks out with a warning only; here that fails.
  if grep -q '^TIDINGS_BUILD_BENCHMARKS:BOOL=ON' "$dir/CMakeCache.txt" && ! ls "$dir"/bin/tidings_bench* >/dev/null 2>&1; then
    echo "the benchmarks were not built (is Google Benchmark there?)"
    return 1
  fi
  echo "==== $suite: test"
  # Under Wine a test that hangs through no fault of its own (see wine_prefix) gets one more try, should
  # the cause found there not be the only one. Everywhere else a test passes the first time or fails.
  local repeat=()
  [ -n "${WINEPREFIX:-}" ] && repeat=(--repeat until-pass:2)
  (cd "$dir" && ctest -j"$jobs" --output-on-failure --timeout 300 "${repeat[@]}") || return 1
}

bench_smoke() {
  # The benchmarks are not tests, but a benchmark that no longer runs should not wait for the next
  # measurement to be found: each one runs briefly against the small stores, with tracing off (no settings
  # file), and the memory benchmark checks its bound of 64 bytes per message.
  local dir="$root/build/$1"
  echo "==== $1: benchmarks, briefly"
  rm -f "$dir/test-registry.reg"
  local out="$dir/bench-smoke.txt"
  "$dir/bin/tidings_bench" --benchmark_filter='-.*/100000.*' --benchmark_min_time=0.01 >"$out" 2>&1 ||
    { cat "$out"; return 1; }
  if grep -q 'ERROR OCCURRED' "$out"; then
    grep 'ERROR OCCURRED' "$out"
    return 1
  fi
  "$dir/bin/tidings_bench_memory" >"$dir/bench-memory.txt" 2>&1 || { cat "$dir/bench-memory.txt"; return 1; }
}

wine_prefix() {
  # A fresh Wine prefix inside the build tree: the tests write its registry.
  export WINEPREFIX="$root/build/$1/wineprefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$root/build/$1"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  # One server for the whole suite, with Wine's own system processes started now, their output going
  # nowhere. Otherwise the first test process to start a server also starts those processes, which
  # inherit its output pipe and keep it open while later tests keep the server alive: ctest then waits
  # for that test's end of output until its timeout, however quickly it passed.
  wineserver -p
  wineboot </dev/null >/dev/null 2>&1 || true
}

failed=()
for suite in "${suites[@]}"; do
  mkdir -p "$root/build"
  case $suite in
    linux) { configure_and_test linux && bench_smoke linux; } || failed+=("$suite") ;;
    asan)
      # Benchmarks measure the uninstrumented build only.
      CC=clang CXX=clang++ configure_and_test asan -DTIDINGS_SANITIZE=address,undefined \
        -DTIDINGS_BUILD_BENCHMARKS=OFF || failed+=("$suite") ;;
    tsan)
      CC=clang CXX=clang++ configure_and_test tsan -DTIDINGS_SANITIZE=thread \
        -DTIDINGS_BUILD_BENCHMARKS=OFF || failed+=("$suite") ;;
    win64 | win32)
      arch=x86_64
      [ "$suite" = win32 ] && arch=i686
      wine_prefix "$suite"
      # Xerces-C for mingw is built once per version and architecture and kept outside the tree.
      xerces=$("$root/scripts/build-xerces-mingw.sh" "$arch" | tail -n 1)
      # Google Benchmark likewise, for the benchmarks: built for Windows too, run on Linux.
      benchmark=$("$root/scripts/build-benchmark-mingw.sh" "$arch" | tail -n 1)
      configure_and_test "$suite" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
        -DCMAKE_FIND_ROOT_PATH="$xerces;$benchmark" || failed+=("$suite")
      wineserver -k 2>/dev/null || true
      unset WINEPREFIX
      ;;
    fuzz) "$root/scripts/fuzz.sh" 30 || failed+=("$suite") ;;
    *) echo "unknown suite: $suite" >&2; exit 2 ;;
  esac
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED suites: ${failed[*]}"
  exit 1
fi
echo "All suites passed: ${suites[*]}"
