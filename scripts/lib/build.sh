# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# shellcheck shell=bash
# shellcheck disable=SC2154  # root and jobs come from the script that sources this file
# The build trees that the test suites and the packages share. Sourced by scripts/test-all.sh and
# scripts/package.sh after setting root (the checkout) and jobs; it defines functions only.
#
#   configure_tree SUITE [CMAKE-OPTION...]    configures build/SUITE as its suite tests it
#   configure_windows_tree SUITE ARCH [CMAKE-OPTION...]
#                                             the same for win64 (x86_64) or win32 (i686), after finding
#                                             or building the mingw Xerces-C and Google Benchmark
#
# The Windows ZIPs are packed from the win64 and win32 trees the suites built and tested, so what is
# shipped is what was tested, and no tree is built twice.

configure_tree() {
  local suite=$1
  shift
  local dir="$root/build/$suite"
  mkdir -p "$dir"
  echo "==== $suite: configure"
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIDINGS_WERROR=ON \
    -DTIDINGS_SETTINGS_FILE="$dir/test-registry.reg" "$@" >"$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; return 1; }
}

configure_windows_tree() {
  local suite=$1 arch=$2 xerces benchmark
  shift 2
  # Xerces-C for mingw is built once per version and architecture and kept outside the tree.
  if ! xerces=$("$root/scripts/build-xerces-mingw.sh" "$arch" | tail -n 1) || [ ! -d "$xerces" ]; then
    echo "the mingw build of Xerces-C failed" >&2
    return 1
  fi
  # Google Benchmark likewise, for the benchmarks: built for Windows too, run on Linux.
  if ! benchmark=$("$root/scripts/build-benchmark-mingw.sh" "$arch" | tail -n 1) || [ ! -d "$benchmark" ]; then
    echo "the mingw build of Google Benchmark failed" >&2
    return 1
  fi
  configure_tree "$suite" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
    -DCMAKE_FIND_ROOT_PATH="$xerces;$benchmark" "$@"
}
