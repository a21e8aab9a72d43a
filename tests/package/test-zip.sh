#!/usr/bin/env bash
# Tests a Windows ZIP as a user receives it: unpacked into an empty directory, it must hold the files a
# Windows developer takes from it, its modules stripped and importing only Windows' own DLLs, and the
# MSVC client (tests/msvc_client) must build against its header and Tidings.lib and run with its
# Tidings.dll, EchoHandler.dll and tidings-msgcheck.exe, each with nothing beside it.
#
#   test-zip.sh <package.zip> <i686|x86_64> <work dir>
set -euo pipefail

[ $# -eq 3 ] || { echo "usage: $0 <package.zip> <i686|x86_64> <work dir>" >&2; exit 2; }
zip=$(realpath "$1") arch=$2 work=$3
here=$(cd "$(dirname "$0")" && pwd)
objdump=$arch-w64-mingw32-objdump
fail() { echo "FAILED: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip")
top=$work/unpacked/$(basename "$zip" .zip)
for f in bin/Tidings.dll bin/EchoHandler.dll bin/tidings-msgcheck.exe bin/Config/Msg.xml lib/Tidings.lib \
  lib/libTidings.dll.a include/tidings.h README.md licenses/xerces-c/LICENSE licenses/xerces-c/NOTICE; do
  [ -f "$top/$f" ] || fail "$(basename "$zip") lacks $f"
done
modules=("$top/bin/Tidings.dll" "$top/bin/EchoHandler.dll" "$top/bin/tidings-msgcheck.exe")
for m in "${modules[@]}"; do
  ! "$objdump" -h "$m" | grep -q '\.debug_' || fail "$(basename "$m") is not stripped"
done
echo "Tidings.dll ($arch): $(stat -c %s "$top/bin/Tidings.dll") bytes"
cmake -DOBJDUMP="$objdump" "-DMODULES=$(IFS=';'; echo "${modules[*]}")" -P "$here/../exports/check_imports.cmake"

status=0
wine "$top/bin/tidings-msgcheck.exe" "$(winepath -w "$top/bin/Config/Msg.xml" 2>/dev/null)" >"$work/msgcheck.txt" ||
  status=$?
[ "$status" -eq 0 ] || { cat "$work/msgcheck.txt"; fail "tidings-msgcheck.exe exited $status on the sample file"; }

bash "$here/../msvc_client/run-msvc-client.sh" "$arch" "$top/include" "$top/lib/Tidings.lib" \
  "$top/bin/Tidings.dll" "$top/bin/EchoHandler.dll" "$top/bin/tidings-msgcheck.exe" "$work/client"
echo "$(basename "$zip"): every check held"
