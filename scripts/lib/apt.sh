# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# shellcheck shell=bash
# Package installation that survives a package mirror in the middle of a sync. Sourced by the scripts
# that install what they need; it defines functions only.
#
#   apt_update                 apt-get update, once per run; every index that failed is named, then
#                              ignored, whatever apt's exit status
#   apt_install PACKAGE...     apt-get install, retried with one consistent suite when apt cannot
#                              resolve the first attempt
#
# Both print why they fail before they return non-zero. Messages go to stderr.

# Mirrors are sometimes caught between two syncs: one architecture's index of one suite then comes back
# with the wrong size for hours ("Mirror sync in progress?"). That is a warning here, and the install below
# works from what was fetched (or from the lists of an earlier update). apt's exit status cannot say
# whether every index came: a refused connection is a "W:" line and exit 0, a file of the wrong size an
# "E:" line and exit 100, and apt's configuration can change either. So the output is read every time.
apt_update() {
  [ -n "${_tidings_apt_updated:-}" ] && return 0
  _apt_as_root || return 1
  local out status=0 failed
  echo "==== apt-get update" >&2
  out=$($_apt_sudo apt-get update -q 2>&1) || status=$?
  failed=$(printf '%s\n' "$out" | _apt_failed_indexes)
  if [ -n "$failed" ]; then
    echo "warning: apt-get update (exit $status) could not fetch these indexes; going on without them:" >&2
    printf '%s\n' "$failed" | sed 's/^/  /' >&2
  elif [ "$status" -ne 0 ]; then
    echo "warning: apt-get update failed (exit $status); going on with the indexes that were fetched:" >&2
    printf '%s\n' "$out" | grep -E '^(E|W):' >&2 || printf '%s\n' "$out" | tail -n 5 >&2
  fi
  _tidings_apt_updated=1
  return 0
}

# Reads apt-get update's output; prints each index that failed with apt's reason, once. apt says it twice:
# "Err:N SITE SUITE KIND" with the reason on the next line, and "W: Failed to fetch URL  REASON" (or "E:")
# at the end. The URL form is the one printed; an "Err:" line counts alone only where no such line came.
_apt_failed_indexes() {
  awk '
    /^[EW]: Failed to fetch / {
      line = $0; sub(/^[EW]: Failed to fetch /, "", line)
      if (!(line in seen)) { seen[line] = 1; fetch[++nf] = line }
      next
    }
    pending != "" { err[++ne] = pending (/^  / ? " (" substr($0, 3) ")" : ""); pending = "" }
    /^Err:[0-9]+ / { pending = $0; sub(/^Err:[0-9]+ /, "", pending) }
    END {
      if (pending != "") err[++ne] = pending
      if (nf > 0) for (i = 1; i <= nf; i++) print fetch[i]
      else for (i = 1; i <= ne; i++) if (!(err[i] in shown)) { shown[err[i]] = 1; print err[i] }
    }'
}

# Installs the packages (names may carry an architecture, name:i386). When apt cannot resolve them, the
# cause is usually an index missing for one architecture: the other architecture's candidates then come
# from a suite (security, updates) whose versions the first cannot match, and a Multi-Arch: same library
# must have one version on both. The second attempt takes every candidate from the release's main suite,
# which both architectures' indexes hold, so the versions agree.
apt_install() {
  [ $# -gt 0 ] || return 0
  _apt_as_root || return 1
  apt_update || return 1
  local log
  log=$(mktemp)
  echo "==== installing: $*" >&2
  if _apt_get_install "$log" "$@"; then
    rm -f "$log"
    return 0
  fi
  local suite
  suite=$(_apt_main_suite)
  if [ -n "$suite" ]; then
    echo "warning: apt could not install them as they are; trying again with every version from $suite:" >&2
    tail -n 3 "$log" | sed 's/^/  /' >&2
    if _apt_get_install "$log" -t "$suite" "$@"; then
      rm -f "$log"
      return 0
    fi
  fi
  echo "error: apt-get could not install: $*" >&2
  echo "apt said:" >&2
  grep -E '^(E:| [^ ].* : Depends)' "$log" | head -n 20 | sed 's/^/  /' >&2
  rm -f "$log"
  cat >&2 <<EOF
what to try: run 'apt-get update' again later (a mirror in the middle of a sync mends itself), check
/etc/apt/sources.list and /etc/apt/sources.list.d/ for an index that fails, or install the packages
above by hand and run this script again.
EOF
  return 1
}

_apt_get_install() {
  local log=$1
  shift
  DEBIAN_FRONTEND=noninteractive $_apt_sudo apt-get install -y -q --no-install-recommends "$@" >"$log" 2>&1
}

# The release's own suite (bookworm on Debian 12), the one every architecture's index has.
_apt_main_suite() {
  local codename=""
  if [ -r /etc/os-release ]; then
    # shellcheck disable=SC1091  # the machine's own file
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  fi
  echo "$codename"
}

_apt_as_root() {
  _apt_sudo=""
  [ "$(id -u)" -eq 0 ] && return 0
  if command -v sudo >/dev/null; then
    _apt_sudo=sudo
    return 0
  fi
  echo "error: installing packages needs root (or sudo); install them by hand or run as root" >&2
  return 1
}
