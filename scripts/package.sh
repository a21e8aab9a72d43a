#!/usr/bin/env bash
# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# Makes the release packages with CPack from the install rules, and tests each one as a user receives it
# (tests/package): a ZIP per Windows architecture and a Debian package for Linux. On a fresh Debian 12
# machine it first installs what it needs, and builds Xerces-C for mingw once (as scripts/test-all.sh).
#
#   scripts/package.sh [linux] [win64] [win32]      (default: all three)
#
# The Debian package is built in Release in a tree of its own, build/package-linux (it is configured for
# /usr and the machine-wide settings file). Each ZIP is packed from the tree its Windows suite of
# scripts/test-all.sh builds and tests, build/win64 or build/win32, which is configured and built here
# when that suite has not run. Packages are copied to build/packages/. Exits non-zero when a package
# cannot be made or fails its test.
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

# Builds and packs one configured tree; prints the package's path.
pack() {
  local dir=$1
  rm -rf "$dir/packages"
  cmake --build "$dir" -j"$jobs" >&2
  (cd "$dir" && cpack >&2)
  local package
  package=$(ls "$dir"/packages/*.zip "$dir"/packages/*.deb 2>/dev/null)
  cp "$package" "$out/"
  echo "$out/$(basename "$package")"
}

# The Debian package's tree: Release, for /usr, its library reading the machine-wide settings file it
# installs, /etc/tidings/registry.reg.
make_deb() {
  local dir=$root/build/package-linux
  echo "==== linux: package" >&2
  mkdir -p "$dir"
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DTIDINGS_BUILD_TESTS=OFF \
    -DTIDINGS_BUILD_BENCHMARKS=OFF -DTIDINGS_BUILD_DEMO=OFF -DCMAKE_INSTALL_PREFIX=/usr \
    -DTIDINGS_INSTALL_SETTINGS_FILE=ON >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log" >&2; return 1; }
  pack "$dir"
}

failed=()
for target in "${targets[@]}"; do
  case $target in
    linux)
      deb=$(make_deb) && bash "$root/tests/package/test-deb.sh" "$deb" "$root/build/package-linux/test" ||
        failed+=("$target")
      ;;
    win64 | win32)
      arch=x86_64
      [ "$target" = win32 ] && arch=i686
      echo "==== $target: package" >&2
      # The Wine prefix of the win64 suite, which runs 32- and 64-bit programs alike.
      [ -n "${WINEPREFIX:-}" ] || wine_prefix "$root/build/win64/wineprefix" || { failed+=("$target"); continue; }
      zip=$(configure_windows_tree "$target" "$arch" >&2 && pack "$root/build/$target") &&
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
