#!/usr/bin/env bash
# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# Tests the Debian packages as a user receives them. lintian (-EvIL +pedantic) may find nothing but
# initial-upload-closes-no-bugs. Then dpkg installs them for real into a scratch root: an overlay of this
# machine's root, in a mount namespace of its own, so that the machine itself is left as it was. There the
# maintainer scripts must have made the group tidings and the directories of the message file and trace
# log; the two client projects of tests/install and the example client build against the installed
# packages alone; the example, run by a member of the group, saves its message into /var/lib/tidings and
# traces into /var/log/tidings; and purge leaves nothing behind. Needs root (or sudo) for the namespace.
#   test-deb.sh <work dir> <package.deb>...
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 <work dir> <package.deb>..." >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAILED: Debian packages: $*" >&2; exit 1; }

if [ "${1:-}" = --in-scratch-root ]; then
  # ---- Inside the scratch root, as root: what a user who installs the packages meets.
  shift
  work=$1
  shift
  lib=/usr/lib/$(gcc -print-multiarch)
  export DEBIAN_FRONTEND=noninteractive
  dpkg -i "$@" >"$work/dpkg-install.log" 2>&1 || { cat "$work/dpkg-install.log"; fail "dpkg -i failed"; }
  for f in /usr/include/tidings.h "$lib/libTidings.so.0" "$lib/pkgconfig/tidings.pc" \
    "$lib/cmake/Tidings/TidingsConfig.cmake" /usr/bin/tidings-msgcheck /usr/share/man/man1/tidings-msgcheck.1.gz; do
    [ -f "$f" ] || fail "nothing installed $f"
  done
  [ "$(readlink -f "$lib/libTidings.so")" = "$(readlink -f "$lib/libTidings.so.0")" ] || fail "libTidings.so is no link to the library"
  readelf -d "$lib/libTidings.so.0" | grep -qF 'Library soname: [libTidings.so.0]' || fail "wrong SONAME"
  dpkg-query -W -f='${Conffiles}\n' libtidings0 | grep -q '^ /etc/tidings/registry.reg ' || fail "no conffile"
  # The library runs in any user's process: the group's members write, others read the message file only.
  for entry in "/var/lib/tidings 2775" "/var/lib/tidings/Msg.xml 664" "/var/log/tidings 2770" \
    "/var/log/tidings/UILogTrace.txt 660"; do
    read -r path mode <<<"$entry"
    [ "$(stat -c '%a %U %G' "$path")" = "$mode root tidings" ] ||
      fail "$path is $(stat -c '%a %U %G' "$path"), not $mode root tidings"
  done
  tidings-msgcheck /var/lib/tidings/Msg.xml >/dev/null || fail "tidings-msgcheck rejects the first Msg.xml"

  PREFIX=/usr INSTALL_LIBDIR=${lib#/usr/} WORK_DIR=$work/consumers CMAKE=cmake CC=cc CXX=c++ \
    bash "$here/../install/run-install-test.sh"
  echo "---- the example client, built with pkg-config and run by a member of the group tidings"
  read -ra flags <<<"$(pkg-config --cflags --libs tidings)"
  cc -std=c11 -Wall -Wextra -Werror -o "$work/example-client" "$here/../../examples/client/client.c" "${flags[@]}"
  sed -i 's/^;\("Debug"="1"\)/\1/; s/^;\(\[HKEY_LOCAL_MACHINE\\SOFTWARE\\quellbridge\\Halvern3.0\]\)/\1/' \
    /etc/tidings/registry.reg
  chmod 755 "$work"
  setpriv --reuid=nobody --regid=nogroup --groups="$(getent group tidings | cut -d: -f3)" \
    "$work/example-client" | grep -q '^message 0 read back as added$' || fail "the example client failed"
  grep -q 'MsgName="Inbox" MsgSInfo="3 new mails ✉"' /var/lib/tidings/Msg.xml ||
    { cat /var/lib/tidings/Msg.xml; fail "the example's message was not saved in /var/lib/tidings/Msg.xml"; }
  [ "$(stat -c '%a %G' /var/lib/tidings/Msg.xml)" = "664 tidings" ] || fail "the save did not keep Msg.xml's mode and group"
  grep -q 'Enter Fun AddMessage, lpMsgSpanName is Mail' /var/log/tidings/UILogTrace.txt ||
    fail "the example's calls are not in /var/log/tidings/UILogTrace.txt"

  dpkg --purge tidings-tools libtidings-dev libtidings0 >"$work/dpkg-purge.log" 2>&1 ||
    { cat "$work/dpkg-purge.log"; fail "dpkg --purge failed"; }
  for f in /var/lib/tidings /var/log/tidings /etc/tidings "$lib/libTidings.so.0"; do
    [ ! -e "$f" ] || fail "purge left $f"
  done
  echo "installed, used and purged: every check held"
  exit 0
fi

work=$(realpath -m "$1")
shift
debs=()
for deb in "$@"; do debs+=("$(realpath "$deb")"); done
rm -rf "$work" && mkdir -p "$work"

echo "---- lintian -EvIL +pedantic"
# Both its word and its status count: the status speaks of errors only (and of lintian failing to run),
# the tags it prints of warnings too.
lintian_status=0
lintian -EvIL +pedantic "${debs[@]}" 2>"$work/lintian.err" >"$work/lintian.txt" || lintian_status=$?
cat "$work/lintian.txt"
[ "$lintian_status" -eq 0 ] || { cat "$work/lintian.err"; fail "lintian exited $lintian_status"; }
if grep -E '^[EW]: ' "$work/lintian.txt" | grep -qv ' initial-upload-closes-no-bugs'; then
  fail "lintian found errors or warnings"
fi

echo "---- the symbols file names exactly the library's exports"
mkdir -p "$work/symbols/debian" "$work/symbols/root"
runtime=$(printf '%s\n' "${debs[@]}" | grep '/libtidings0_')
dpkg-deb -x "$runtime" "$work/symbols/root"
dpkg-deb --ctrl-tarfile "$runtime" | tar -xO ./symbols >"$work/symbols/symbols"
printf 'Source: tidings\n\nPackage: libtidings0\nArchitecture: any\n' >"$work/symbols/debian/control"
(cd "$work/symbols" && dpkg-gensymbols -plibtidings0 -v"$(dpkg-deb -f "$runtime" Version)" \
  -P"$work/symbols/root" -I"$work/symbols/symbols" \
  -O"$work/symbols/generated" -c4 -e"$work"/symbols/root/usr/lib/*/libTidings.so.0) || fail "the symbols file is out of date"

echo "---- installed into a scratch root"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
mkdir -p "$work/upper" "$work/overlay-work" "$work/root"
# The overlay shows only the root file system, so the checkout (which holds these scripts, the sources and
# the packages) is bound in at its own path, wherever it lies; the scratch work goes to a tmpfs of its own.
top=$(cd "$here/../.." && pwd)
# shellcheck disable=SC2016  # expanded by the inner shell
"${as_root[@]}" unshare --mount --propagation private bash -euc '
  work=$1 top=$2
  shift 2
  mount -t overlay overlay -o "lowerdir=/,upperdir=$work/upper,workdir=$work/overlay-work" "$work/root"
  mount --rbind /dev "$work/root/dev"
  mount -t proc proc "$work/root/proc"
  mkdir -p "$work/root$top" "$work/root/run/tidings-scratch"
  mount --bind "$top" "$work/root$top"
  mount -t tmpfs tmpfs "$work/root/run/tidings-scratch"
  exec chroot "$work/root" "$@"' _ "$work" "$top" bash "$here/test-deb.sh" --in-scratch-root \
  /run/tidings-scratch "${debs[@]}" || status=$?
"${as_root[@]}" rm -rf "$work/upper" "$work/overlay-work"
[ "${status:-0}" -eq 0 ] || exit 1
echo "$(basename -a "${debs[@]}" | tr '\n' ' '): every check held"
