#!/usr/bin/env bash
# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# Checks that the set-up scripts survive what a flaky mirror and an interrupted run leave behind:
#   - an index that cannot be fetched is named and does not stop the run, whichever way apt exits: a
#     refused connection (apt says "W:" and exits 0) and a file of the wrong size ("E:", exit 100);
#   - a package apt cannot install is named in the error, after the second attempt;
#   - a Wine server left running for a suite's prefix does not stop the next run of that suite, and the
#     server is gone after stop_wine_server (only with --wine: it builds a Wine prefix, about 30 s).
# Needs root (it changes apt's configuration for its own calls only, through APT_CONFIG).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=scripts/lib/apt.sh
source "$root/scripts/lib/apt.sh"
# shellcheck source=scripts/lib/wine.sh
source "$root/scripts/lib/wine.sh"

tmp=$(mktemp -d)
server=""
trap 'stop_wine_server; [ -z "$server" ] || kill "$server" 2>/dev/null || true; rm -rf "$tmp"' EXIT
passes=0 failures=0
check() {
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
    passes=$((passes + 1))
  else
    echo "FAILED: $what"
    failures=$((failures + 1))
  fi
}

# A mirror caught mid-sync, staged: a local server whose Release promises an index of another size. apt
# sees only this source here, with lists of its own, so the machine's lists are left alone.
arch=$(dpkg --print-architecture)
mirror=$tmp/mirror/dists/bookworm
mkdir -p "$mirror/main/binary-$arch" "$tmp/lists/partial" "$tmp/broken.list.d"
echo "Package: tidings-test" >"$mirror/main/binary-$arch/Packages"
cat >"$mirror/Release" <<RELEASE
Suite: bookworm
Codename: bookworm
Date: Thu, 01 Jan 2026 00:00:00 UTC
Architectures: $arch
Components: main
SHA256:
 $(printf '0%.0s' {1..64}) 4242 main/binary-$arch/Packages
RELEASE
: >"$tmp/http.log"
python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$tmp/mirror" >>"$tmp/http.log" 2>&1 &
server=$!
port=""
for _ in $(seq 100); do
  port=$(sed -n 's/^Serving HTTP on [^ ]* port \([0-9]*\).*/\1/p' "$tmp/http.log")
  [ -n "$port" ] && break
  sleep 0.1
done
check "a local server stands in for the mirror" [ -n "$port" ]
echo "deb [trusted=yes] http://127.0.0.1:$port/ bookworm main" >"$tmp/broken.list.d/broken.list"
cat >"$tmp/broken.conf" <<CONF
Dir::Etc::sourcelist "/dev/null";
Dir::Etc::sourceparts "$tmp/broken.list.d";
Dir::State::Lists "$tmp/lists";
Dir::Cache::pkgcache "";
Dir::Cache::srcpkgcache "";
Acquire::Retries "0";
CONF
out=$(APT_CONFIG=$tmp/broken.conf apt_update 2>&1) && status=0 || status=$?
kill "$server"
check "apt_update goes on past an index of the wrong size" [ "$status" -eq 0 ]
check "apt_update names the index of the wrong size, and why" \
  grep -q "127.0.0.1:$port/dists/bookworm/main/binary-$arch/Packages .*unexpected size" <<<"$out"

# apt sees the machine's sources plus one index that refuses every connection.
mkdir -p "$tmp/sources.list.d"
cp /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list "$tmp/sources.list.d/" 2>/dev/null || true
echo "deb [trusted=yes] http://127.0.0.1:9/tidings-unreachable bookworm main" >"$tmp/sources.list.d/unreachable.list"
cat >"$tmp/apt.conf" <<CONF
Dir::Etc::sourceparts "$tmp/sources.list.d";
Acquire::Retries "0";
CONF
export APT_CONFIG=$tmp/apt.conf

out=$(apt_update 2>&1) && status=0 || status=$?
check "apt_update goes on past an unreachable index" [ "$status" -eq 0 ]
check "apt_update names the unreachable index" grep -q "127.0.0.1:9/tidings-unreachable" <<<"$out"

out=$(apt_install cmake 2>&1) && status=0 || status=$?
check "apt_install installs from the indexes that were fetched" [ "$status" -eq 0 ]

out=$(apt_install tidings-no-such-package 2>&1) && status=0 || status=$?
check "apt_install fails on a package apt cannot find" [ "$status" -ne 0 ]
check "its error names the package and what to try" \
  grep -q "could not install: tidings-no-such-package" <<<"$out"
check "it tried the main suite first" grep -q "trying again with every version from" <<<"$out"

if [ "${1:-}" = --wine ]; then
  wine_prefix "$tmp/wineprefix" >/dev/null
  # As a killed run leaves it: the server of that prefix still up.
  check "a suite starts while a server of its prefix is left running" wine_prefix "$tmp/wineprefix"
  check "wine runs in that prefix" wine cmd /c exit 0
  stop_wine_server
  check "no server is left after stop_wine_server" bash -c '! wineserver -k 2>/dev/null'
fi

echo "setup: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
