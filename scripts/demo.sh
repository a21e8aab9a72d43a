#!/usr/bin/env bash
# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# Builds and runs tidings-demo, a host program that loads Tidings at run time (examples/demo). On a fresh
# Debian 12 machine it first installs what it needs with apt-get.
#
#   scripts/demo.sh
#
# The build tree is build/demo (Release); the demo directory with the program, the library, the
# example handler module and the Config directory is build/demo/demo. The library's settings file, where
# the demo turns the trace log on for its run, is build/demo/demo-registry.reg, so nothing outside the
# build tree is touched.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc 2>/dev/null || echo 2)
dir="$root/build/demo"

# shellcheck source=scripts/install-deps.sh
source "$root/scripts/install-deps.sh"
install_deps linux

mkdir -p "$dir"
log="$dir.log"
echo "==== configure and build the demo in build/demo (log: build/demo.log)"
{
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DTIDINGS_BUILD_TESTS=OFF \
    -DTIDINGS_BUILD_DEMO=ON -DTIDINGS_SETTINGS_FILE="$dir/demo-registry.reg" &&
    cmake --build "$dir" --target tidings-demo -j"$jobs"
} >"$log" 2>&1 || { cat "$log"; echo "the demo build failed" >&2; exit 1; }

echo "==== run build/demo/demo/tidings-demo"
echo
exec "$dir/demo/tidings-demo"
