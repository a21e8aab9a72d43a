#!/usr/bin/env bash
# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# Tests the Debian package as a user receives it, unpacked with dpkg-deb -x into an empty root: its files
# and links, the conffile, a working tidings-msgcheck, lintian (where installed) without errors, and the
# two client projects of tests/install built and run against that root alone.
#   test-deb.sh <package.deb> <work dir>
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 <package.deb> <work dir>" >&2; exit 2; }
deb=$(realpath "$1") root=$2/root here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAILED: $(basename "$deb"): $*" >&2; exit 1; }
rm -rf "$2" && mkdir -p "$root"
dpkg-deb -x "$deb" "$root"
lib=usr/lib/$(gcc -print-multiarch)
for f in usr/include/tidings.h "$lib/pkgconfig/tidings.pc" "$lib/cmake/Tidings/TidingsConfig.cmake" \
  usr/bin/tidings-msgcheck etc/tidings/registry.reg usr/share/doc/tidings/copyright; do
  [ -f "$root/$f" ] || fail "it lacks /$f"
done
readelf -d "$root/$lib/libTidings.so.0" | grep -qF 'Library soname: [libTidings.so.0]' || fail "wrong SONAME"
{ [ -L "$root/$lib/libTidings.so" ] && [ "$(readlink -f "$root/$lib/libTidings.so")" = "$(readlink -f "$root/$lib/libTidings.so.0")" ]; } ||
  fail "libTidings.so is not a link to the library"
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles | grep -qx /etc/tidings/registry.reg || fail "no conffile"
"$root/usr/bin/tidings-msgcheck" "$here/../../packaging/Msg.xml" >/dev/null || fail "tidings-msgcheck rejects the sample"
if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" || fail "lintian found errors"
else
  echo "lintian is not installed: not run"
fi
PREFIX=$root/usr INSTALL_LIBDIR=${lib#usr/} WORK_DIR=$2/consumers CMAKE=cmake CC=cc CXX=c++ \
  bash "$here/../install/run-install-test.sh"
echo "$(basename "$deb"): every check held"
