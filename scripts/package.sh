#!/usr/bin/env bash
# Makes the release packages with CPack from the install rules, and tests each one as a user receives it
# (tests/package): a ZIP per Windows architecture and a Debian package for Linux. On a fresh Debian 12
# machine it first installs what it needs, and builds Xerces-C for mingw once (as scripts/test-all.sh).
#
#   scripts/package.sh [linux] [win64] [win32]      (default: all three)
#
# Each package is built in Release in a tree of its own, build/package-<target>, and copied to
# build/packages/. Exits non-zero when a package cannot be made or fails its test.
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
install_deps package "${targets[@]}" || { echo "could not install what packaging needs (see above)" >&2; exit 1; }
trap stop_wine_server EXIT

out=$root/build/packages
mkdir -p "$out"

# Configures, builds and packs one target; prints the package's path.
make_package() {
  local target=$1
  shift
  local dir=$root/build/package-$target
  echo "==== $target: package" >&2
  rm -rf "$dir/packages"
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DTIDINGS_BUILD_TESTS=OFF \
    -DTIDINGS_BUILD_BENCHMARKS=OFF -DTIDINGS_BUILD_DEMO=OFF "$@" >"$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log" >&2; return 1; }
  cmake --build "$dir" -j"$jobs" >&2
  (cd "$dir" && cpack >&2)
  local package
  package=$(ls "$dir"/packages/*.zip "$dir"/packages/*.deb 2>/dev/null)
  cp "$package" "$out/"
  echo "$out/$(basename "$package")"
}

failed=()
for target in "${targets[@]}"; do
  case $target in
    linux)
      # The package's library reads the machine-wide settings file it installs, /etc/tidings/registry.reg.
      deb=$(make_package linux -DCMAKE_INSTALL_PREFIX=/usr -DTIDINGS_INSTALL_SETTINGS_FILE=ON) &&
        bash "$root/tests/package/test-deb.sh" "$deb" "$root/build/package-linux/test" || failed+=("$target")
      ;;
    win64 | win32)
      arch=x86_64
      [ "$target" = win32 ] && arch=i686
      [ -n "${WINEPREFIX:-}" ] || wine_prefix "$root/build/package-wineprefix" || { failed+=("$target"); continue; }
      xerces=$("$root/scripts/build-xerces-mingw.sh" "$arch" | tail -n 1)
      zip=$(make_package "$target" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
        -DCMAKE_FIND_ROOT_PATH="$xerces") &&
        bash "$root/tests/package/test-zip.sh" "$zip" "$arch" "$root/build/package-$target/test" ||
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
