#!/usr/bin/env bash
# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# Builds Tidings and runs every test suite: the set-up scripts (shellcheck, a broken index, a stale Wine
# server), Linux (gcc), Linux under AddressSanitizer and
# UndefinedBehaviorSanitizer, Linux under ThreadSanitizer, Windows x64 and x86 cross-built with
# mingw-w64 and run under Wine, the release packages made and tested (scripts/package.sh), and a minute
# of fuzzing the message-file reader. On a fresh Debian 12 machine it first installs what it needs.
#
#   scripts/test-all.sh [suite ...]      suites: setup linux asan tsan win64 win32 package fuzz
#                                        (default: all)
#
# Build trees go to build/<suite>. Exits non-zero when any suite fails.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

# Whatever ends the script early says so: the failing command, or the signal.
last_failure=""
trap 'last_failure="line $LINENO: $BASH_COMMAND (exit $?)"' ERR
on_exit() {
  local status=$?
  declare -F stop_wine_server >/dev/null && stop_wine_server
  if [ "$status" -ne 0 ] && [ -z "${reported:-}" ]; then
    echo "$0: stopped with exit status $status${last_failure:+ after $last_failure}" >&2
  fi
}
trap on_exit EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

jobs=$(nproc 2>/dev/null || echo 2)
suites=("$@")
[ ${#suites[@]} -gt 0 ] || suites=(setup linux asan tsan win64 win32 package fuzz)

for suite in "${suites[@]}"; do
  case $suite in
    setup | linux | asan | tsan | win64 | win32 | package | fuzz) ;;
    *) echo "unknown suite: $suite" >&2; exit 2 ;;
  esac
done

# shellcheck source=scripts/install-deps.sh
source "$root/scripts/install-deps.sh"
# shellcheck source=scripts/lib/wine.sh
source "$root/scripts/lib/wine.sh"
# shellcheck source=scripts/lib/build.sh
source "$root/scripts/lib/build.sh"
# Seconds each step took, printed at the end whatever the outcome: where a run's time goes. The CPU
# seconds (of the step's processes, over every core) tell what the step costs on a busier machine too.
timings=()
# Sets cpu_now to the CPU seconds this script's finished children have used.
_cpu_seconds() {
  # `times` in this shell itself: a subshell would start from nothing.
  times >"$root/build/.times"
  cpu_now=$(awk 'END { for (i = 1; i <= 2; i++) { split($i, t, /[ms]/); s += t[1] * 60 + t[2] }
    printf "%d", s }' "$root/build/.times")
}
time_step() {
  local name=$1 start=$SECONDS cpu status=0
  shift
  mkdir -p "$root/build"
  _cpu_seconds
  cpu=$cpu_now
  "$@" || status=$?
  _cpu_seconds
  timings+=("$(printf '%-8s %6d s %6d s  %s' "$name" $((SECONDS - start)) $((cpu_now - cpu)) \
    "$([ $status -eq 0 ] && echo ok || echo FAILED)")")
  return $status
}
print_timings() {
  [ ${#timings[@]} -gt 0 ] || return 0
  echo "==== seconds per step: wall, CPU"
  printf '  %s\n' "${timings[@]}"
  printf '  %-8s %6d s\n' total "$SECONDS"
}
time_step deps install_deps "${suites[@]}" ||
  { echo "could not install what the suites need (see above)" >&2; print_timings; exit 1; }

# Builds and tests a tree that configure_tree or configure_windows_tree configured.
build_and_test() {
  local suite=$1
  local dir="$root/build/$suite"
  echo "==== $suite: build"
  cmake --build "$dir" -j"$jobs" || return 1
  # Without Google Benchmark the build leaves the benchmarks out with a warning only; here that fails.
  if grep -q '^TIDINGS_BUILD_BENCHMARKS:BOOL=ON' "$dir/CMakeCache.txt" && ! ls "$dir"/bin/tidings_bench* >/dev/null 2>&1; then
    echo "the benchmarks were not built (is Google Benchmark there?)"
    return 1
  fi
  echo "==== $suite: test"
  if [ -n "${WINEPREFIX:-}" ]; then
    wine_tests "$dir" || return 1
  else
    # A tree whose tests were not registered (a configure that left them out) fails rather than passing.
    (cd "$dir" && ctest -j"$jobs" --output-on-failure --no-tests=error --timeout 300) || return 1
  fi
}

# Under Wine each test is a process start of about half a second, and the tests that read the machine's
# settings (the registry, here the prefix's) take turns, so one ctest keeps one core busy. The tests are
# dealt over one ctest per core instead, each with a prefix of its own. A test that hangs through no fault
# of its own (see wine_prefix) gets one more try, should the cause found there not be the only one.
wine_tests() {
  local dir=$1 shards=$jobs i status=0 pids=()
  [ "$shards" -ge 1 ] || shards=1
  wine_shards "$shards" || return 1
  # Discovery once, before the shards start: they would otherwise write the same lists at once.
  (cd "$dir" && WINEPREFIX=${wine_shard_prefixes[0]} ctest -N >/dev/null) || return 1
  for ((i = 1; i <= shards; i++)); do
    (cd "$dir" && WINEPREFIX=${wine_shard_prefixes[i - 1]} ctest -I "$i,,$shards" --output-on-failure \
      --no-tests=error --timeout 300 --repeat until-pass:2 >"$dir/ctest-shard-$i.log" 2>&1) &
    pids+=($!)
  done
  for ((i = 1; i <= shards; i++)); do
    if wait "${pids[i - 1]}"; then
      grep -E '^[0-9]+% tests passed' "$dir/ctest-shard-$i.log" | sed "s/^/shard $i: /"
    else
      status=1
      cat "$dir/ctest-shard-$i.log"
    fi
  done
  return $status
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

windows_suite() {
  local suite=$1 arch=$2
  wine_prefix "$root/build/$suite/wineprefix" || return 1
  configure_windows_tree "$suite" "$arch" && build_and_test "$suite"
}

run_suite() {
  local suite=$1 arch status=0
  mkdir -p "$root/build"
  case $suite in
    setup)
      # The scripts themselves: shellcheck, and how they weather a broken index and a stale Wine server;
      # and every source file's licence line.
      echo "==== setup: licence lines, shellcheck and the set-up test"
      tests/scripts/licence_headers_test.sh && shellcheck -x scripts/*.sh scripts/lib/*.sh tests/install/*.sh tests/scripts/*.sh tests/package/*.sh \
        tests/msvc_client/*.sh .ci/run && tests/scripts/setup_test.sh --wine ;;
    linux) configure_tree linux && build_and_test linux && bench_smoke linux ;;
    asan)
      # Benchmarks measure the uninstrumented build only.
      CC=clang CXX=clang++ configure_tree asan -DTIDINGS_SANITIZE=address,undefined \
        -DTIDINGS_BUILD_BENCHMARKS=OFF && build_and_test asan ;;
    tsan)
      CC=clang CXX=clang++ configure_tree tsan -DTIDINGS_SANITIZE=thread \
        -DTIDINGS_BUILD_BENCHMARKS=OFF && build_and_test tsan ;;
    win64 | win32)
      arch=x86_64
      [ "$suite" = win32 ] && arch=i686
      windows_suite "$suite" "$arch" || status=$?
      stop_wine_server
      unset WINEPREFIX
      return $status
      ;;
    package) "$root/scripts/package.sh" ;;
    fuzz) "$root/scripts/fuzz.sh" 15 ;;
  esac
}

failed=()
for suite in "${suites[@]}"; do
  time_step "$suite" run_suite "$suite" || failed+=("$suite")
done
print_timings

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED suites: ${failed[*]}"
  reported=1
  exit 1
fi
echo "All suites passed: ${suites[*]}"
