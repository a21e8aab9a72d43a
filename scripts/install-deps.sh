# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# shellcheck shell=bash
# Installs with apt-get what building and testing need, when it is not there yet. Sourced by the other
# scripts; `install_deps [suite ...]` takes the suites about to run.

# shellcheck source=scripts/lib/apt.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/apt.sh"

install_deps() {
  local want_setup=0 want_wine=0 want_package=0 s
  for s in "$@"; do
    case $s in setup) want_setup=1 want_wine=1 ;; win64 | win32) want_wine=1 ;; package) want_package=1 ;; esac
  done
  local pkgs=(cmake g++ clang make pkgconf googletest libgtest-dev libbenchmark-dev libxerces-c-dev binutils
    shellcheck)
  if [ $want_wine = 1 ]; then
    # lld and llvm (with clang) make Tidings.lib and the MSVC client.
    pkgs+=(mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 wine32:i386 lld llvm)
  fi
  [ $want_package = 1 ] && pkgs+=(dpkg-dev lintian)
  # The set-up test serves a broken package index with python3's http.server.
  [ $want_setup = 1 ] && ! command -v python3 >/dev/null && pkgs+=(python3)
  # The Turkish locale, whose dotted and dotless i the name index must allow for, is compiled below.
  locale -a 2>/dev/null | grep -qix 'tr_TR.utf8' || pkgs+=(locales)
  local missing=() p
  for p in "${pkgs[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    if [ $want_wine = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
      _apt_as_root || return 1
      echo "==== adding the i386 architecture (for wine32)" >&2
      $_apt_sudo dpkg --add-architecture i386 || { echo "error: dpkg --add-architecture i386 failed" >&2; return 1; }
      # Lists fetched before the architecture was added have no i386 index.
      _tidings_apt_updated=""
    fi
    apt_install "${missing[@]}" || return 1
  fi
  install_turkish_locale
}

# A test of the name index runs only where tr_TR.UTF-8 exists; without it the test is skipped, not failed,
# so a failure to make it here only costs that test.
install_turkish_locale() {
  locale -a 2>/dev/null | grep -qix 'tr_TR.utf8' && return 0
  echo "==== compiling the locale tr_TR.UTF-8"
  _apt_as_root || return 0
  $_apt_sudo localedef -i tr_TR -c -f UTF-8 tr_TR.UTF-8 ||
    echo "could not compile tr_TR.UTF-8; its test will be skipped"
}
