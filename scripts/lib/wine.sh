# shellcheck shell=bash
# The Wine prefix and server of a Windows test suite. Sourced; it defines functions only.
#
#   wine_prefix DIR       make DIR the prefix (creating it when new) and start one server for it
#   stop_wine_server      stop the server of the current prefix, if one runs, and wait for it to end

stop_wine_server() {
  [ -n "${WINEPREFIX:-}" ] || return 0
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}

wine_prefix() {
  # A prefix of the suite's own: the tests write its registry.
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
  # One server for the whole suite, with Wine's own system processes started now, their output going
  # nowhere. Otherwise the first test process to start a server also starts those processes, which
  # inherit its output pipe and keep it open while later tests keep the server alive: ctest then waits
  # for that test's end of output until its timeout, however quickly it passed.
  wineserver -p || { echo "could not start a Wine server for $WINEPREFIX" >&2; return 1; }
  wineboot </dev/null >/dev/null 2>&1 || true
}
