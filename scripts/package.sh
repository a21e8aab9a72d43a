#!/usr/bin/env bash
# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# Makes the release packages with CPack from the install rules, and tests each one as a user receives it
# (tests/package): a ZIP per Windows architecture and three Debian packages for Linux (libtidings0,
# libtidings-dev, tidings-tools). On a fresh Debian 12 machine it first installs what it needs, and builds
# Xerces-C for mingw once (as scripts/test-all.sh).
#
#   scripts/package.sh [linux] [win64] [win32]      (default: all three)
#
# The Debian packages are built in Release in a tree of its own, build/package-linux, configured as a
# Debian package build is: for /usr, the machine-wide settings file and the directories of the message
# file and trace log, Debian's (hardening) build flags, and stripped as dh_strip strips. Each ZIP is
# packed from the tree its Windows suite of scripts/test-all.sh builds and tests, build/win64 or
# build/win32; where that suite has not run, only what the ZIP holds is built here. Only the targets a
# package holds are built. Packages are copied to build/packages/. Exits non-zero when a package cannot
# be made or fails its test.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc 2>/dev/null || echo 2)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(linux win64 win32)

# shellcheck source=scripts/install-deps.sh
source "$root/scripts/install-deps.sh"
# shellcheck source=scripts/lib/wine.sh
source "$root/scripts/lib/wine.sh"
# shellcheck source=scripts/lib/build.sh
source "$root/scripts/lib/build.sh"
install_deps package "${targets[@]}" || { echo "could not install what packaging needs (see above)" >&2; exit 1; }
trap stop_wine_server EXIT

out=$root/build/packages
mkdir -p "$out"

# Builds the targets a package holds in one configured tree (configured with
# CMAKE_SKIP_INSTALL_ALL_DEPENDENCY, so that CPack builds nothing more) and packs it; prints the paths of
# the packages made.
pack() {
  local dir=$1 package
  shift
  rm -rf "$dir/packages"
  cmake --build "$dir" -j"$jobs" --target "$@" >&2
  (cd "$dir" && cpack >&2)
  for package in "$dir"/packages/*.zip "$dir"/packages/*.deb; do
    [ -e "$package" ] || continue
    cp "$package" "$out/"
    echo "$out/$(basename "$package")"
  done
}

# The Debian packages' tree: Release, for /usr; its library reads the machine-wide settings file it
# installs, /etc/tidings/registry.reg, and keeps the message file in /var/lib/tidings and the trace log in
# /var/log/tidings. Debian's build flags with every hardening feature (bindnow too), as debhelper passes
# them.
make_deb() {
  local dir=$root/build/package-linux
  echo "==== linux: package" >&2
  mkdir -p "$dir"
  local cppflags cflags cxxflags ldflags
  cppflags=$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CPPFLAGS)
  cflags=$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CFLAGS)
  cxxflags=$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get CXXFLAGS)
  ldflags=$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get LDFLAGS)
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DTIDINGS_BUILD_TESTS=OFF \
    -DTIDINGS_BUILD_BENCHMARKS=OFF -DTIDINGS_BUILD_DEMO=OFF -DCMAKE_INSTALL_PREFIX=/usr \
    -DTIDINGS_INSTALL_SETTINGS_FILE=ON -DTIDINGS_CONFIG_DIR=/var/lib/tidings -DTIDINGS_LOG_DIR=/var/log/tidings \
    -DCMAKE_C_FLAGS="$cflags $cppflags" -DCMAKE_CXX_FLAGS="$cxxflags $cppflags" \
    -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
    -DCMAKE_STRIP="$root/packaging/debian/strip" -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
    >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log" >&2; return 1; }
  pack "$dir" Tidings tidings-msgcheck
}

failed=()
for target in "${targets[@]}"; do
  case $target in
    linux)
      debs=$(make_deb) && mapfile -t debs <<<"$debs" &&
        bash "$root/tests/package/test-deb.sh" "$root/build/package-linux/test" "${debs[@]}" || failed+=("$target")
      ;;
    win64 | win32)
      arch=x86_64
      [ "$target" = win32 ] && arch=i686
      echo "==== $target: package" >&2
      # The Wine prefix of the win64 suite, which runs 32- and 64-bit programs alike.
      [ -n "${WINEPREFIX:-}" ] || wine_prefix "$root/build/win64/wineprefix" || { failed+=("$target"); continue; }
      zip=$(configure_windows_tree "$target" "$arch" -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >&2 &&
        pack "$root/build/$target" Tidings EchoHandler tidings-msgcheck) &&
        bash "$root/tests/package/test-zip.sh" "$zip" "$arch" "$root/build/$target/package-test" ||
        failed+=("$target")
      ;;
    *) echo "unknown target: $target" >&2; exit 2 ;;
  esac
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED packages: ${failed[*]}"
  exit 1
fi
echo "Packages made and tested, in $out:"
ls -1 "$out"
