#!/usr/bin/env bash
# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

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
# Caching, locking and fetching the source are shared with the other mingw builds
# (scripts/lib/mingw-build.sh). The version is part of the prefix name; a changed recipe rebuilds into
# the same prefix, since the stamp in it no longer matches.
#
# Build choices: a static library (it then needs nothing at run time; the programs that link it bring the
# GCC runtime, statically like every Windows module of ours), Release with -O2, and none of the library's
# own tests (they would need GoogleTest built for mingw as well).
#
# Environment: BENCHMARK_BUILD_JOBS, parallel build jobs (default 2).

set -euo pipefail

readonly BENCHMARK_VERSION=1.7.1
readonly SOURCE_PACKAGE=benchmark
readonly RECIPE_REVISION=1

# shellcheck source=scripts/lib/mingw-build.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/mingw-build.sh"

mingw_setup "$@"
jobs=${BENCHMARK_BUILD_JOBS:-2}

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
mingw_recipe "$BENCHMARK_VERSION" "$RECIPE_REVISION" "${cmake_options[@]}"
mingw_use_prefix "$cache_root/benchmark-$BENCHMARK_VERSION-mingw-$arch"

mingw_begin_build benchmark
mingw_install_tools
mingw_fetch_source "$SOURCE_PACKAGE" "$BENCHMARK_VERSION"
grep -Eq "project *\(benchmark VERSION $BENCHMARK_VERSION" "$srcdir/CMakeLists.txt" ||
    die "unpacked source is not Google Benchmark $BENCHMARK_VERSION"

mingw_configure "${cmake_options[@]}"
log "building with $jobs jobs"
run_logged cmake --build "$tmp/build" -j "$jobs"
mingw_stage
[[ -f $stage/lib/libbenchmark.a && -f $stage/include/benchmark/benchmark.h &&
   -f $stage/lib/cmake/benchmark/benchmarkConfig.cmake ]] || die "install is missing expected files"
install -D -m 644 -t "$stage/share/doc/benchmark" "$srcdir/LICENSE"

mingw_finish "benchmark-version=$BENCHMARK_VERSION"
