#!/usr/bin/env bash
# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# Tests a Windows ZIP as a user receives it, unpacked into an empty directory: its files, its modules
# stripped and importing only Windows' own DLLs, its checker on its sample Msg.xml, the MSVC client of
# tests/msvc_client built against its header and Tidings.lib, and its example client built from the
# unpacked tree twice: as an MSVC project links it (clang for *-windows-msvc and lld-link, against
# Tidings.lib and Windows' own msvcrt.dll, see msvc_crt/), and as a MinGW CMake project that finds the
# package with find_package(Tidings). The first runs with the trace turned on by the ZIP's trace-on.reg
# and must save its message and trace its calls beside Tidings.dll.
#   test-zip.sh <package.zip> <i686|x86_64> <work dir>          (Wine's prefix: WINEPREFIX)
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 <package.zip> <i686|x86_64> <work dir>" >&2; exit 2; }
zip=$(realpath "$1") arch=$2 work=$(realpath -m "$3") here=$(cd "$(dirname "$0")" && pwd)
top=$work/unpacked/$(basename "$zip" .zip) objdump=$arch-w64-mingw32-objdump
fail() { echo "FAILED: $(basename "$zip"): $*" >&2; exit 1; }
winpath() { winepath -w "$1" 2>/dev/null; }
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

# Runs an example client built into <dir>, with Tidings.dll and the sample Config beside it.
run_example() {
  local dir=$1 exe=$2 output
  cp "$top/bin/Tidings.dll" "$dir/"
  cp -r "$top/bin/Config" "$dir/"
  output=$(cd "$dir" && wine "$exe") || fail "$exe in $dir exited $?: $output"
  [ "$output" = "message 0 read back as added" ] || fail "$exe printed: $output"
  grep -q 'MsgName="Inbox" MsgSInfo="3 new mails ✉"' "$dir/Config/Msg.xml" || fail "$exe did not save its message"
}

echo "---- the example client, linked as an MSVC project links it, with the trace on"
msvc=$work/example-msvc
mkdir -p "$msvc"
for source in "$top/examples/client/client.c" "$here/msvc_crt/crt_startup.c"; do
  "${CLANG:-clang}" --target="$arch-pc-windows-msvc" -ffreestanding -O1 -Wall -Wextra -Werror \
    -I "$here/msvc_crt" -I "$top/include" -c "$source" -o "$msvc/$(basename "$source" .c).obj"
done
machine=x64
[ "$arch" = i686 ] && machine=x86
"${LLVM_DLLTOOL:-llvm-dlltool}" -m "$([ "$arch" = i686 ] && echo i386 || echo i386:x86-64)" \
  -d "$here/msvc_crt/msvcrt.def" -l "$msvc/msvcrt.lib"
"${LLD_LINK:-lld-link}" /nologo /machine:$machine /subsystem:console /nodefaultlib /entry:mainCRTStartup \
  /out:"$msvc/example-client.exe" "$msvc/client.obj" "$msvc/crt_startup.obj" "$top/lib/Tidings.lib" "$msvc/msvcrt.lib"
wine regedit /S "$(winpath "$top/trace-on.reg")"
run_example "$msvc" example-client.exe
wine regedit /S "$(winpath "$top/trace-off.reg")"
grep -q 'Enter Fun AddMessage, lpMsgSpanName is Mail' "$msvc/Config/UILogTrace.txt" 2>/dev/null ||
  fail "trace-on.reg did not turn the trace on for the $arch library"

echo "---- the example client as a MinGW CMake project, through find_package(Tidings)"
mingw=$work/example-mingw
cmake -S "$top/examples/client" -B "$mingw" -DCMAKE_TOOLCHAIN_FILE="$here/../../cmake/toolchain-mingw-$arch.cmake" \
  -DCMAKE_FIND_ROOT_PATH="$top" -DCMAKE_BUILD_TYPE=Release >"$mingw.configure.log" 2>&1 ||
  { cat "$mingw.configure.log"; fail "the example's CMake project does not configure against the package"; }
[ "$(sed -n 's/^Tidings_DIR:[A-Z]*=//p' "$mingw/CMakeCache.txt")" = "$top/lib/cmake/Tidings" ] ||
  fail "find_package(Tidings) did not find the package's own"
cmake --build "$mingw" >"$mingw.build.log" 2>&1 || { cat "$mingw.build.log"; fail "the example does not build"; }
run_example "$mingw" tidings-example-client.exe
echo "$(basename "$zip"): every check held"
