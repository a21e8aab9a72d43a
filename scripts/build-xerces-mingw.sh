#!/usr/bin/env bash
# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

#
# build-xerces-mingw.sh - cross-build Xerces-C as a static Windows library with mingw-w64.
#
# Usage: scripts/build-xerces-mingw.sh <x86_64|i686> [cache-root]
#
# Builds Xerces-C (static library, headers, CMake package config) from the
# Debian 12 ("bookworm") xerces-c source package with Debian's mingw-w64
# "posix" compilers, and installs it into
#
#     <cache-root>/xerces-c-<version>-mingw-<arch>-<recipe>/
#
# (cache-root defaults to /var/cache/tidings; <recipe> is the start of a
# hash of the build recipe: version, options, toolchain file).
#
# The install prefix is printed as the last line on stdout; everything else
# (progress, apt and build output) goes to stderr, so callers can do
#
#     XERCES_PREFIX=$(scripts/build-xerces-mingw.sh x86_64 | tail -n1)
#
# Caching, locking and fetching the source are shared with the other mingw
# builds (scripts/lib/mingw-build.sh).  A changed version or recipe builds
# afresh into a new prefix, so a build tree configured with an older recipe
# keeps its own.
#
# Build choices (and why):
#   * Static library; Release with -O2; only the library target is built
#     (the tests, samples and docs subdirectories are left out of the
#     configure, which also keeps the build to a few minutes on 2 cores).
#     Tidings.dll links it in, so the DLL is one file that needs nothing but
#     Windows, and an exception thrown inside Xerces is thrown and caught in
#     one module: each module has an unwinder of its own once the GCC runtime
#     is linked statically, and on i686 (DWARF-2 unwinding) an exception
#     cannot pass from one module into another.
#   * No network support at all (-Dnetwork=OFF): Xerces then has no net
#     accessor, so it can never fetch a DTD, schema or entity over the
#     network.  This is a hardening requirement; the script checks that the
#     library refers to no socket/HTTP function.
#   * Windows transcoder, in-memory message loader, no ICU, no curl: the
#     library depends on nothing but Windows itself and the GCC runtime, which
#     each module that links it brings along (statically, in Tidings).
#
# Environment:
#   XERCES_BUILD_JOBS   parallel build jobs (default 2)

set -euo pipefail

readonly XERCES_VERSION=3.2.4
readonly SOURCE_PACKAGE=xerces-c
# Bump when the build changes in a way the recipe hash below cannot see.
readonly RECIPE_REVISION=1

# shellcheck source=scripts/lib/mingw-build.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/mingw-build.sh"

mingw_setup "$@"
jobs=${XERCES_BUILD_JOBS:-2}

# Xerces CMake options.  Everything that matters is pinned explicitly rather
# than left to auto-detection.
cmake_options=(
    -DCMAKE_BUILD_TYPE=Release
    "-DCMAKE_C_FLAGS_RELEASE=-O2 -DNDEBUG"
    "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG"
    -DBUILD_SHARED_LIBS=OFF
    -Dnetwork=OFF
    -Dtranscoder=windows
    -Dmessage-loader=inmemory
    -Dfile-manager=windows
    -Dmutex-manager=standard
    -Dxmlch-type=char16_t
    -DCMAKE_DISABLE_FIND_PACKAGE_ICU=ON
    -DCMAKE_DISABLE_FIND_PACKAGE_CURL=ON
    -DCMAKE_INSTALL_BINDIR=bin
    -DCMAKE_INSTALL_LIBDIR=lib
    -DCMAKE_INSTALL_INCLUDEDIR=include
)
mingw_recipe "$XERCES_VERSION" "$RECIPE_REVISION" "${cmake_options[@]}"
mingw_use_prefix "$cache_root/xerces-c-$XERCES_VERSION-mingw-$arch-${recipe:0:12}"

# From here on we build.
mingw_begin_build xerces-c
mingw_install_tools
mingw_fetch_source "$SOURCE_PACKAGE" "$XERCES_VERSION"

grep -q "^AC_INIT(\[xerces-c\],\[$XERCES_VERSION\])" "$srcdir/configure.ac" ||
    die "unpacked source is not Xerces-C $XERCES_VERSION"

# Configure only the library: drop the doc, tests and samples directories
# (samples would otherwise also be needed by "install").
sed -i -E 's/^add_subdirectory\((doc|tests|samples)\)/# &  (not needed for the library)/' \
    "$srcdir/CMakeLists.txt"
if [[ $(grep -cE '^add_subdirectory\(' "$srcdir/CMakeLists.txt") -ne 1 ]] ||
    ! grep -qx 'add_subdirectory(src)' "$srcdir/CMakeLists.txt"; then
    die "unexpected layout of the top-level CMakeLists.txt"
fi

mingw_configure "${cmake_options[@]}"
grep -Eq 'NetAccessor: +OFF$' "$build_log" || die "Xerces was configured with a net accessor"

log "building with $jobs jobs (a few minutes)"
run_logged cmake --build "$tmp/build" --target xerces-c -j "$jobs"
mingw_stage --strip

lib=$stage/lib/libxerces-c.a
[[ -f $lib && -f $stage/cmake/XercesCConfig.cmake &&
   -f $stage/include/xercesc/util/PlatformUtils.hpp ]] ||
    die "install is missing expected files"

# Apache License 2.0: keep LICENSE and NOTICE with the binaries.
install -D -m 644 -t "$stage/share/doc/xerces-c" "$srcdir/LICENSE" "$srcdir/NOTICE"

# Hardening check: nothing in the library may call into a networking library.
if "$triple-nm" -u "$lib" | grep -Eq ' (__imp_)?_*(WSAStartup|socket|connect|Internet[A-Za-z]*|WinHttp[A-Za-z]*)(@[0-9]+)?$'; then
    die "libxerces-c.a refers to a networking function"
fi

mingw_finish "xerces-c-version=$XERCES_VERSION" library=static
