#!/usr/bin/env bash
# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# Installs a built Tidings into a fresh prefix, then configures, builds and runs two client projects
# against the installed package only:
#   consumer-cmake      find_package(Tidings) and Tidings::Tidings
#   consumer-pkgconfig  pkg-config --cflags --libs tidings, with PKG_CONFIG_PATH into the prefix
# Each client exits 0 only when its checks of the exports hold. Run by ctest (tests/install/CMakeLists.txt),
# which passes, in the environment:
#   CMAKE, BUILD_DIR, BUILD_CONFIG (may be empty), WORK_DIR, INSTALL_LIBDIR, CC, CXX,
#   CONSUMER_FLAGS (compile and link flags for the clients, such as sanitizer options; may be empty)
# With PREFIX set instead of BUILD_DIR, nothing is installed: the clients are built against that tree.
set -euo pipefail

for var in CMAKE WORK_DIR INSTALL_LIBDIR CC CXX; do
  [ -n "${!var:-}" ] || { echo "run-install-test.sh: $var is not set" >&2; exit 2; }
done
here=$(cd "$(dirname "$0")" && pwd)
work=$WORK_DIR
prefix=${PREFIX:-$work/prefix}
libdir=$prefix/$INSTALL_LIBDIR

step() { echo "---- $*"; }
fail() { echo "FAILED: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"

if [ -z "${PREFIX:-}" ]; then
  step "cmake --install into $prefix"
  config_args=()
  [ -n "${BUILD_CONFIG:-}" ] && config_args=(--config "$BUILD_CONFIG")
  "$CMAKE" --install "$BUILD_DIR" --prefix "$prefix" "${config_args[@]}"
fi

# The client must find the installed library, not the build tree's: ldd names the file it resolved.
check_resolves_into_prefix() {
  local program=$1 resolved
  resolved=$(LD_LIBRARY_PATH="$libdir" ldd "$program" | awk '/libTidings\.so/ { print $3 }')
  [ -n "$resolved" ] || fail "$program does not load libTidings"
  case $resolved in
    "$libdir"/*) ;;
    *) fail "$program loads $resolved instead of the library in $libdir" ;;
  esac
}

step "consumer-cmake: configure and build"
"$CMAKE" -S "$here/consumer-cmake" -B "$work/consumer-cmake" \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF \
  -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF \
  -DCMAKE_CXX_COMPILER="$CXX" \
  -DCMAKE_CXX_FLAGS="${CONSUMER_FLAGS:-}" \
  -DCMAKE_EXE_LINKER_FLAGS="${CONSUMER_FLAGS:-}"
found=$(sed -n 's/^Tidings_DIR:[A-Z]*=//p' "$work/consumer-cmake/CMakeCache.txt")
[ "$found" = "$libdir/cmake/Tidings" ] || fail "find_package(Tidings) used '$found', not $libdir/cmake/Tidings"
"$CMAKE" --build "$work/consumer-cmake"
check_resolves_into_prefix "$work/consumer-cmake/tidings-consumer-cmake"
step "consumer-cmake: run"
LD_LIBRARY_PATH="$libdir" "$work/consumer-cmake/tidings-consumer-cmake"

step "consumer-pkgconfig: build"
command -v pkg-config >/dev/null || fail "pkg-config is not installed (Debian: apt-get install pkgconf)"
# Only the prefix: no pkg-config file from elsewhere on the machine may stand in for the installed one.
export PKG_CONFIG_PATH="$libdir/pkgconfig"
export PKG_CONFIG_LIBDIR="$libdir/pkgconfig"
pkg-config --exists tidings || fail "pkg-config does not find tidings in $PKG_CONFIG_PATH"
mkdir -p "$work/consumer-pkgconfig"
# An instrumented library needs the sanitizers' C++ runtime, which only the C++ driver links in.
link=$CC
[ -n "${CONSUMER_FLAGS:-}" ] && link=$CXX
make -C "$work/consumer-pkgconfig" -f "$here/consumer-pkgconfig/Makefile" VPATH="$here/consumer-pkgconfig" \
  CC="$CC" LINK="$link" CFLAGS="-O2 ${CONSUMER_FLAGS:-}" LDFLAGS="${CONSUMER_FLAGS:-}"
check_resolves_into_prefix "$work/consumer-pkgconfig/tidings-consumer-pkgconfig"
step "consumer-pkgconfig: run"
LD_LIBRARY_PATH="$libdir" "$work/consumer-pkgconfig/tidings-consumer-pkgconfig"

step "both clients passed"
