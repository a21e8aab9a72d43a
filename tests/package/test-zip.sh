#!/usr/bin/env bash
# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# Tests a Windows ZIP as a user receives it, unpacked into an empty directory: its files, its modules
# stripped and importing only Windows' own DLLs, its checker on its sample Msg.xml, and the MSVC client
# built against its header and Tidings.lib, run with its modules (tests/msvc_client).
#   test-zip.sh <package.zip> <i686|x86_64> <work dir>
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 <package.zip> <i686|x86_64> <work dir>" >&2; exit 2; }
zip=$(realpath "$1") arch=$2 here=$(cd "$(dirname "$0")" && pwd)
top=$3/unpacked/$(basename "$zip" .zip) objdump=$arch-w64-mingw32-objdump
fail() { echo "FAILED: $(basename "$zip"): $*" >&2; exit 1; }
rm -rf "$3" && mkdir -p "$3/unpacked"
(cd "$3/unpacked" && cmake -E tar xf "$zip")
for f in bin/Tidings.dll bin/EchoHandler.dll bin/tidings-msgcheck.exe bin/Config/Msg.xml lib/Tidings.lib \
  lib/libTidings.dll.a include/tidings.h README.md doc/benchmarks.md licenses/xerces-c/LICENSE licenses/xerces-c/NOTICE; do
  [ -f "$top/$f" ] || fail "it lacks $f"
done
modules=("$top/bin/Tidings.dll" "$top/bin/EchoHandler.dll" "$top/bin/tidings-msgcheck.exe")
for m in "${modules[@]}"; do
  ! "$objdump" -h "$m" | grep -q '\.debug_' || fail "$(basename "$m") is not stripped"
done
echo "Tidings.dll ($arch): $(stat -c %s "$top/bin/Tidings.dll") bytes"
cmake -DOBJDUMP="$objdump" "-DMODULES=$(IFS=';'; echo "${modules[*]}")" -P "$here/../exports/check_imports.cmake"
wine "$top/bin/tidings-msgcheck.exe" "$(winepath -w "$top/bin/Config/Msg.xml" 2>/dev/null)" >/dev/null ||
  fail "tidings-msgcheck.exe rejects the sample"
bash "$here/../msvc_client/run-msvc-client.sh" "$arch" "$top/include" "$top/lib/Tidings.lib" \
  "$top/bin/Tidings.dll" "$top/bin/EchoHandler.dll" "$top/bin/tidings-msgcheck.exe" "$3/client"
echo "$(basename "$zip"): every check held"
