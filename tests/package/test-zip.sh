#!/usr/bin/env bash
# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# Tests a Windows ZIP as a user receives it, unpacked into an empty directory: its files, its modules
# stripped and importing only Windows' own DLLs, its checker on its sample Msg.xml, the MSVC client of
# tests/msvc_client built against its header and Tidings.lib, and its example client built from the
# unpacked tree twice, each time as a CMake project that finds the package with find_package(Tidings): as
# an MSVC project builds it (clang for *-windows-msvc and lld-link, linking Tidings.lib and, for the C
# runtime, Windows' own msvcrt.dll: see msvc_crt/), and as a MinGW project (libTidings.dll.a). Each must
# save its message beside Tidings.dll; the first runs with the trace turned on by the ZIP's trace-on.reg,
# then off by its trace-off.reg.
#   test-zip.sh <package.zip> <i686|x86_64> <work dir>          (Wine's prefix: WINEPREFIX)
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 <package.zip> <i686|x86_64> <work dir>" >&2; exit 2; }
zip=$(realpath "$1") arch=$2 work=$(realpath -m "$3") here=$(cd "$(dirname "$0")" && pwd)
top=$work/unpacked/$(basename "$zip" .zip) objdump=$arch-w64-mingw32-objdump
fail() { echo "FAILED: $(basename "$zip"): $*" >&2; exit 1; }
winpath() { winepath -w "$1" 2>/dev/null; }
# Imports a .reg file with the 64-bit regedit, as opening it on 64-bit Windows does (Debian's `wine
# regedit` starts the 32-bit one, whose HKEY_LOCAL_MACHINE\SOFTWARE is the 32-bit view).
regedit64() {
  local loader=/usr/lib/wine/wine64
  [ -x "$loader" ] || loader=wine64
  "$loader" regedit /S "$(winpath "$1")"
}
rm -rf "$work" && mkdir -p "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip")
for f in bin/Tidings.dll bin/EchoHandler.dll bin/tidings-msgcheck.exe bin/Config/Msg.xml include/tidings.h \
  lib/Tidings.lib lib/libTidings.dll.a lib/Tidings.def lib/cmake/Tidings/TidingsConfig.cmake \
  examples/client/client.c examples/client/CMakeLists.txt examples/echo_handler/echo_handler.cc \
  examples/echo_handler/echo_handler.def examples/echo_handler/CMakeLists.txt README.md CHANGELOG.md LICENSE \
  NOTICE trace-on.reg trace-off.reg licenses/xerces-c/LICENSE licenses/xerces-c/NOTICE \
  licenses/gcc-runtime/COPYING3 licenses/gcc-runtime/COPYING.RUNTIME licenses/mingw-w64/copyright; do
  [ -f "$top/$f" ] || fail "it lacks $f"
done
grep -q 'winpthreads' "$top/licenses/mingw-w64/copyright" || fail "the mingw-w64 notices do not cover winpthreads"
modules=("$top/bin/Tidings.dll" "$top/bin/EchoHandler.dll" "$top/bin/tidings-msgcheck.exe")
for m in "${modules[@]}"; do
  ! "$objdump" -h "$m" | grep -q '\.debug_' || fail "$(basename "$m") is not stripped"
done
echo "Tidings.dll ($arch): $(stat -c %s "$top/bin/Tidings.dll") bytes"
cmake -DOBJDUMP="$objdump" "-DMODULES=$(IFS=';'; echo "${modules[*]}")" -P "$here/../exports/check_imports.cmake"
wine "$top/bin/tidings-msgcheck.exe" "$(winpath "$top/bin/Config/Msg.xml")" >/dev/null ||
  fail "tidings-msgcheck.exe rejects the sample"
bash "$here/../msvc_client/run-msvc-client.sh" "$arch" "$top/include" "$top/lib/Tidings.lib" \
  "$top/bin/Tidings.dll" "$top/bin/EchoHandler.dll" "$top/bin/tidings-msgcheck.exe" "$work/client"

# Builds the example client of the unpacked tree as a CMake project with the toolchain file given, which
# must find the package with find_package(Tidings) and link <import library>, and runs it with Tidings.dll
# and the sample Config beside it: it must save its message.
build_and_run_example() {
  local dir=$1 toolchain=$2 implib=$3 output
  if ! { cmake -S "$top/examples/client" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$top" -DCMAKE_FIND_ROOT_PATH="$top" && cmake --build "$dir"; } >"$dir.log" 2>&1; then
    cat "$dir.log"
    fail "the example client does not build in $dir"
  fi
  [ "$(sed -n 's/^Tidings_DIR:[A-Z]*=//p' "$dir/CMakeCache.txt")" = "$top/lib/cmake/Tidings" ] ||
    fail "find_package(Tidings) did not find the package's own in $dir"
  grep -rqF "$top/lib/$implib" "$dir/CMakeFiles/tidings-example-client.dir" || fail "$dir did not link $implib"
  cp "$top/bin/Tidings.dll" "$dir/"
  cp -r "$top/bin/Config" "$dir/"
  output=$(cd "$dir" && wine tidings-example-client.exe) || fail "the example client in $dir exited $?: $output"
  [ "${output%$'\r'}" = "message 0 read back as added" ] || fail "the example client in $dir printed: $output"
  grep -q 'MsgName="Inbox" MsgSInfo="3 new mails ✉"' "$dir/Config/Msg.xml" || fail "the example client did not save"
}

echo "---- the example client as an MSVC project builds it, with the trace on"
# clang for *-windows-msvc and lld-link, with msvc_crt's stand-in for an MSVC installation's C runtime.
msvc=$work/example-msvc crt=$work/msvc-crt
mkdir -p "$crt"
"${CLANG:-clang}" --target="$arch-pc-windows-msvc" -ffreestanding -c "$here/msvc_crt/crt_startup.c" -o "$crt/crt_startup.obj"
"${LLVM_DLLTOOL:-llvm-dlltool}" -m "$([ "$arch" = i686 ] && echo i386 || echo i386:x86-64)" \
  -d "$here/msvc_crt/msvcrt.def" -l "$crt/msvcrt.lib"
cat >"$crt/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR $arch)
set(CMAKE_C_COMPILER ${CLANG:-clang})
set(CMAKE_C_COMPILER_TARGET $arch-pc-windows-msvc)
set(CMAKE_C_COMPILER_WORKS ON)
set(CMAKE_C_FLAGS_INIT "-ffreestanding -I$here/msvc_crt")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Xlinker /nodefaultlib -Xlinker /entry:mainCRTStartup")
set(CMAKE_C_STANDARD_LIBRARIES "$crt/crt_startup.obj $crt/msvcrt.lib" CACHE STRING "")
EOF
regedit64 "$top/trace-on.reg"
build_and_run_example "$msvc" "$crt/toolchain.cmake" Tidings.lib
regedit64 "$top/trace-off.reg"
grep -q 'Enter Fun AddMessage, lpMsgSpanName is Mail' "$msvc/Config/UILogTrace.txt" 2>/dev/null ||
  fail "trace-on.reg did not turn the trace on for the $arch library"
traced=$(stat -c %s "$msvc/Config/UILogTrace.txt")
(cd "$msvc" && wine tidings-example-client.exe >/dev/null) || fail "the example client failed its second run"
[ "$(stat -c %s "$msvc/Config/UILogTrace.txt")" = "$traced" ] || fail "trace-off.reg left the trace on"

echo "---- the example client as a MinGW CMake project builds it"
build_and_run_example "$work/example-mingw" "$here/../../cmake/toolchain-mingw-$arch.cmake" libTidings.dll.a
echo "$(basename "$zip"): every check held"
