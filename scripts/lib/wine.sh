# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# shellcheck shell=bash
# The Wine prefixes and servers of a Windows test suite. Sourced; it defines functions only.
#
#   wine_prefix DIR       make DIR the prefix (creating it when new) and start one server for it
#   wine_shards N         make N-1 copies of the current prefix, DIR.2 .. DIR.N, each with a server of its
#                         own, for N test processes that each need a registry of their own; sets
#                         wine_shard_prefixes to the N prefixes, the current one first
#   stop_wine_server      stop the servers of the current prefix and its copies, and wait for them to end

wine_shard_prefixes=()

stop_wine_server() {
  [ -n "${WINEPREFIX:-}" ] || return 0
  local prefix
  for prefix in "$WINEPREFIX" "${wine_shard_prefixes[@]:1}"; do
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX=$prefix wineserver -w >/dev/null 2>&1 || true
  done
}

wine_prefix() {
  # A prefix of the suite's own: the tests write its registry.
  wine_shard_prefixes=()
  export WINEPREFIX=$1
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$(dirname "$WINEPREFIX")"
  # A server left running for this prefix by a run that was killed would make `wineserver -p` fail.
  stop_wine_server
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    [ -f "$WINEPREFIX/system.reg" ] || { echo "wineboot could not create the prefix $WINEPREFIX" >&2; return 1; }
  fi
  _wine_start_server
}

# One server for the whole suite, with Wine's own system processes started now, their output going
# nowhere. Otherwise the first test process to start a server also starts those processes, which inherit
# its output pipe and keep it open while later tests keep the server alive: ctest then waits for that
# test's end of output until its timeout, however quickly it passed.
_wine_start_server() {
  wineserver -p || { echo "could not start a Wine server for $WINEPREFIX" >&2; return 1; }
  wineboot </dev/null >/dev/null 2>&1 || true
}

wine_shards() {
  local n=$1 base=$WINEPREFIX i copy
  local prefixes=("$base")
  for ((i = 2; i <= n; i++)); do
    copy=$base.$i
    if [ ! -f "$copy/system.reg" ]; then
      # A copy is taken of a prefix at rest: its server writes the registry files when it ends.
      stop_wine_server
      rm -rf "$copy"
      cp -a "$base" "$copy" || return 1
    fi
    prefixes+=("$copy")
  done
  for copy in "${prefixes[@]}"; do
    WINEPREFIX=$copy wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX=$copy wineserver -w >/dev/null 2>&1 || true
    WINEPREFIX=$copy _wine_start_server || return 1
  done
  wine_shard_prefixes=("${prefixes[@]}")
}
