# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# CMake toolchain file: cross-compile for 64-bit Windows (x86_64) with
# Debian's mingw-w64 GCC, using the "posix" thread-model compilers (they
# provide std::thread/std::mutex through winpthreads; the "win32" variants
# do not).
#
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake ...
#
# Libraries, headers and CMake packages are searched only under the mingw
# sysroot (plus any extra root a caller puts into CMAKE_FIND_ROOT_PATH), so a
# host (Linux) copy of a library can never be picked up by mistake.  A
# package installed elsewhere, such as a cross-built Xerces-C, is best
# located by pointing <Package>_DIR at its CMake config directory.
#
# Test executables are run through Wine (CTest, try_run()).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER   ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${MINGW_TRIPLE}-windres)

# Keep roots a caller passed with -DCMAKE_FIND_ROOT_PATH=...; add the sysroot.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
list(REMOVE_DUPLICATES CMAKE_FIND_ROOT_PATH)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)   # build tools run on the host
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR wine)
