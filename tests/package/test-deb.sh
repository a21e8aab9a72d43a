#!/usr/bin/env bash
# Tests the Debian package as a user receives it: unpacked with dpkg-deb -x into an empty root, it must
# hold the library with its SONAME links, the header, the CMake and pkg-config packages, a working
# tidings-msgcheck and the settings file, marked as a conffile; lintian (where installed) must find no
# error; and the two client projects of tests/install must build and run against that root alone.
#
#   test-deb.sh <package.deb> <work dir>
set -euo pipefail

[ $# -eq 2 ] || { echo "usage: $0 <package.deb> <work dir>" >&2; exit 2; }
deb=$(realpath "$1") work=$2
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAILED: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
root=$work/root
dpkg-deb -x "$deb" "$root"
multiarch=$(gcc -print-multiarch)
libdir=$root/usr/lib/$multiarch

soname=$(readelf -d "$libdir/libTidings.so.0" | sed -n 's/.*Library soname: \[\(.*\)\].*/\1/p')
[ "$soname" = libTidings.so.0 ] || fail "libTidings.so.0 has the SONAME '$soname'"
{ [ -L "$libdir/libTidings.so.0" ] && [ -L "$libdir/libTidings.so" ]; } || fail "the SONAME and development links are missing"
[ "$(readlink -f "$libdir/libTidings.so")" = "$(readlink -f "$libdir/libTidings.so.0")" ] ||
  fail "libTidings.so and libTidings.so.0 name different files"
for f in usr/include/tidings.h "usr/lib/$multiarch/pkgconfig/tidings.pc" "usr/lib/$multiarch/cmake/Tidings/TidingsConfig.cmake" \
  usr/bin/tidings-msgcheck etc/tidings/registry.reg usr/share/doc/tidings/copyright; do
  [ -f "$root/$f" ] || fail "the package lacks /$f"
done
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles | grep -qx /etc/tidings/registry.reg ||
  fail "/etc/tidings/registry.reg is not a conffile"
dpkg-deb -f "$deb" Depends | grep -q 'libxerces-c' || fail "the package does not depend on Xerces-C"

status=0
"$root/usr/bin/tidings-msgcheck" "$here/../../packaging/Msg.xml" >"$work/msgcheck.txt" || status=$?
[ "$status" -eq 0 ] || { cat "$work/msgcheck.txt"; fail "tidings-msgcheck exited $status on the sample file"; }

if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" || fail "lintian found errors"
else
  echo "lintian is not installed: not run"
fi

PREFIX=$root/usr INSTALL_LIBDIR=lib/$multiarch WORK_DIR=$work/consumers CMAKE=cmake CC=cc CXX=c++ \
  bash "$here/../install/run-install-test.sh"
echo "$(basename "$deb"): every check held"
