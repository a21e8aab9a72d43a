#!/usr/bin/env bash
#
# build-benchmark-mingw.sh - cross-build Google Benchmark for Windows with mingw-w64, so that the
# benchmarks in bench/ build for the Windows targets too.
#
# Usage: scripts/build-benchmark-mingw.sh <x86_64|i686> [cache-root]
#
# Builds the static library from the Debian 12 ("bookworm") source package of Google Benchmark (the
# same version as libbenchmark-dev, which the Linux builds use) with Debian's mingw-w64 "posix"
# compilers, and installs it into
#
#     <cache-root>/benchmark-<version>-mingw-<arch>/      (cache-root defaults to /var/cache/tidings)
#
# Put that prefix into CMAKE_FIND_ROOT_PATH (beside Xerces-C's) and find_package(benchmark) finds it.
# The prefix is printed as the last line on stdout; everything else goes to stderr:
#
#     BENCHMARK_PREFIX=$(scripts/build-benchmark-mingw.sh x86_64 | tail -n1)
#
# Caching works as in build-xerces-mingw.sh: the version is part of the prefix name, a stamp with a hash
# of the build recipe is written last, and the finished tree is moved into place with one rename. The
# source comes from `apt-get source`; when apt offers none, run build-xerces-mingw.sh once, which adds a
# deb-src entry for the suite.
#
# Build choices: a static library (it then needs nothing at run time; the programs that link it bring the
# GCC runtime, statically like every Windows module of ours), Release with -O2, and none of the library's
# own tests (they would need GoogleTest built for mingw as well).

set -euo pipefail

readonly BENCHMARK_VERSION=1.7.1
readonly SOURCE_PACKAGE=benchmark
readonly RECIPE_REVISION=1

readonly prog=${0##*/}
log() { printf '%s: %s\n' "$prog" "$*" >&2; }
die() { log "error: $*"; exit 1; }

[[ $# -ge 1 && $# -le 2 ]] || { echo "usage: $prog <x86_64|i686> [cache-root]" >&2; exit 2; }
arch=$1
case $arch in x86_64 | i686) ;; *) echo "usage: $prog <x86_64|i686> [cache-root]" >&2; exit 2 ;; esac
cache_root=$(realpath -m -- "${2:-/var/cache/tidings}")
jobs=${BENCHMARK_BUILD_JOBS:-2}

script_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
readonly toolchain=$script_dir/../cmake/toolchain-mingw-$arch.cmake
[[ -f $toolchain ]] || die "toolchain file not found: $toolchain"
readonly prefix=$cache_root/benchmark-$BENCHMARK_VERSION-mingw-$arch
readonly stamp=$prefix/.build-stamp

cmake_options=(
    "-DGIT_VERSION=$BENCHMARK_VERSION"  # Debian's patch stops the build from asking git; as debian/rules
    -DCMAKE_BUILD_TYPE=Release
    "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG"
    -DBUILD_SHARED_LIBS=OFF
    -DBENCHMARK_ENABLE_TESTING=OFF
    -DBENCHMARK_ENABLE_GTEST_TESTS=OFF
    -DBENCHMARK_ENABLE_WERROR=OFF
    -DBENCHMARK_ENABLE_LTO=OFF
    -DBENCHMARK_ENABLE_INSTALL=ON
    -DBENCHMARK_INSTALL_DOCS=OFF
    -DCMAKE_INSTALL_LIBDIR=lib
    -DCMAKE_INSTALL_INCLUDEDIR=include
)
recipe=$(
    {
        echo "$BENCHMARK_VERSION $arch $RECIPE_REVISION"
        printf '%s\n' "${cmake_options[@]}"
        cat "$toolchain"
    } | sha256sum | cut -d' ' -f1
)
readonly recipe

install_is_current() { [[ -f $stamp ]] && grep -qx "recipe=$recipe" "$stamp"; }

if install_is_current; then
    echo "$prefix"
    exit 0
fi

mkdir -p "$cache_root"
exec 9>"$cache_root/.benchmark-mingw-$arch.lock"
flock 9
if install_is_current; then
    echo "$prefix"
    exit 0
fi
rm -rf "$cache_root/.tmp-benchmark-mingw-$arch".*
tmp=$(mktemp -d "$cache_root/.tmp-benchmark-mingw-$arch.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

for tool in cmake ninja dpkg-source "$arch-w64-mingw32-g++-posix"; do
    command -v "$tool" >/dev/null || die "$tool is missing (scripts/build-xerces-mingw.sh installs the tools)"
done

# The Debian version of the source package for our upstream version.
deb_version=$(
    apt-cache showsrc "$SOURCE_PACKAGE" 2>/dev/null |
        awk -v up="$BENCHMARK_VERSION" '
            /^Package:/ { pkg = $2 }
            /^Version:/ && pkg == "benchmark" && index($2, up) == 1 &&
                substr($2, length(up) + 1, 1) ~ /[+~-]/ { print $2 }' |
        sort -V | tail -n1
)
[[ -n $deb_version ]] ||
    die "apt offers no $SOURCE_PACKAGE source for $BENCHMARK_VERSION (a deb-src entry is needed; scripts/build-xerces-mingw.sh adds one)"

log "fetching source package $SOURCE_PACKAGE $deb_version"
mkdir "$tmp/download"
if [[ $(id -u) -eq 0 ]] && id _apt >/dev/null 2>&1; then chown _apt "$tmp/download"; fi
(cd "$tmp/download" && apt-get source --download-only "$SOURCE_PACKAGE=$deb_version" >&2) ||
    die "apt-get source $SOURCE_PACKAGE=$deb_version failed (see above)"
srcdir=$tmp/src
dpkg-source -x "$tmp"/download/*.dsc "$srcdir" >&2
grep -Eq "project *\(benchmark VERSION $BENCHMARK_VERSION" "$srcdir/CMakeLists.txt" ||
    die "unpacked source is not Google Benchmark $BENCHMARK_VERSION"

build_log=$tmp/build.log
run_logged() {
    if ! "$@" >>"$build_log" 2>&1; then
        tail -n 60 "$build_log" >&2
        die "failed: $*"
    fi
}

start=$SECONDS
log "configuring ($arch)"
run_logged cmake -G Ninja -S "$srcdir" -B "$tmp/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_INSTALL_PREFIX="$prefix" "${cmake_options[@]}"
log "building with $jobs jobs"
run_logged cmake --build "$tmp/build" -j "$jobs"
DESTDIR=$tmp/stage run_logged cmake --install "$tmp/build"
stage=$tmp/stage$prefix
[[ -f $stage/lib/libbenchmark.a && -f $stage/include/benchmark/benchmark.h &&
   -f $stage/lib/cmake/benchmark/benchmarkConfig.cmake ]] || die "install is missing expected files"
install -D -m 644 -t "$stage/share/doc/benchmark" "$srcdir/LICENSE"

cat > "$stage/.build-stamp" <<EOF
benchmark-version=$BENCHMARK_VERSION
debian-source=$SOURCE_PACKAGE $deb_version
arch=$arch
compiler=$("$arch-w64-mingw32-g++-posix" --version | head -n1)
build-seconds=$((SECONDS - start))
recipe=$recipe
EOF
if [[ -e $prefix ]]; then mv -T "$prefix" "$tmp/old-prefix"; fi
mv -T "$stage" "$prefix"
log "installed into $prefix"
echo "$prefix"
