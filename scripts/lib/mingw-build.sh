# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# shellcheck shell=bash
# What the cached mingw-w64 builds of a third-party static library have in common
# (scripts/build-xerces-mingw.sh, scripts/build-benchmark-mingw.sh). Sourced; it defines functions and
# the variables they set, and each build script calls them in this order:
#
#   mingw_setup "$@"              checks the arguments <x86_64|i686> [cache-root]; sets arch, apt_arch,
#                                 triple, cxx, cache_root and toolchain
#   mingw_recipe VERSION REVISION CMAKE-OPTION...
#                                 sets recipe, a hash of the build recipe (version, arch, revision,
#                                 options, toolchain file)
#   mingw_use_prefix PREFIX       prints PREFIX and exits if it holds a finished install of this recipe
#   mingw_begin_build NAME        from here on we build: takes the lock, makes the temporary directory tmp
#   mingw_install_tools           installs the compilers and build tools that are missing
#   mingw_fetch_source PACKAGE UPSTREAM-VERSION
#                                 fetches and unpacks the Debian source package into srcdir (sets
#                                 deb_version)
#   mingw_configure CMAKE-OPTION...   configures $srcdir into $tmp/build for the install prefix
#   run_logged COMMAND...         runs a step with its output into the build log, shown when it fails
#   mingw_stage INSTALL-OPTION... installs into the staging tree stage, which carries the final prefix
#   mingw_finish STAMP-LINE...    writes the stamp, moves the staged tree into place, prints the prefix
#
# The contract every build script keeps: the install prefix is the last line on stdout and everything
# else (progress, apt and build output) goes to stderr, so a caller can do
#
#     prefix=$(scripts/build-xerces-mingw.sh x86_64 | tail -n1)
#
# Caching: a stamp file naming the recipe hash is written as the very last file of a finished install,
# and the whole tree is moved into place with one rename; a prefix whose stamp names this recipe is only
# printed. Sources are fetched, built and staged in a temporary directory under the cache root, so an
# interrupted run leaves no half-installed prefix behind and can simply be rerun. Concurrent runs for
# the same library and arch take turns on a lock file in the cache root; the second then finds the
# first's install.
#
# Requirements: root for installing missing tools (skipped when they are all there). The source package
# is fetched without changing the machine's apt configuration.

# The variables below are this file's results, used by the scripts that source it.
# shellcheck disable=SC2034

# The Debian release whose source packages and mingw-w64 compilers are used.
readonly MINGW_DEBIAN_SUITE=bookworm

_mingw_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
prog=${0##*/}

log() { printf '%s: %s\n' "$prog" "$*" >&2; }
die() {
  log "error: $*"
  exit 1
}

# apt_update and apt_install: a failed index is a warning, an unresolvable install is tried again.
# shellcheck source=scripts/lib/apt.sh
source "$_mingw_root/scripts/lib/apt.sh"

mingw_setup() {
  if [[ $# -lt 1 || $# -gt 2 || ($1 != x86_64 && $1 != i686) ]]; then
    echo "usage: $prog <x86_64|i686> [cache-root]" >&2
    exit 2
  fi
  arch=$1
  apt_arch=$arch
  [[ $arch == x86_64 ]] && apt_arch=x86-64
  cache_root=$(realpath -m -- "${2:-/var/cache/tidings}")
  triple=$arch-w64-mingw32
  cxx=$triple-g++-posix
  toolchain=$_mingw_root/cmake/toolchain-mingw-$arch.cmake
  [[ -f $toolchain ]] || die "toolchain file not found: $toolchain"
}

mingw_recipe() {
  local version=$1 revision=$2
  shift 2
  recipe=$(
    {
      echo "$version $arch $revision"
      printf '%s\n' "$@"
      cat "$toolchain"
    } | sha256sum | cut -d' ' -f1
  )
}

# True if the prefix holds a finished install of this very recipe.
_mingw_install_is_current() {
  [[ -f $prefix/.build-stamp ]] && grep -qx "recipe=$recipe" "$prefix/.build-stamp"
}

mingw_use_prefix() {
  prefix=$1
  if _mingw_install_is_current; then
    echo "$prefix"
    exit 0
  fi
}

mingw_begin_build() {
  local name=$1
  mkdir -p "$cache_root"
  # Serialise concurrent runs for the same library and arch.
  exec 9>"$cache_root/.$name-mingw-$arch.lock"
  flock 9
  if _mingw_install_is_current; then # another run finished it while we waited
    echo "$prefix"
    exit 0
  fi
  # Leftovers of an interrupted run (killed before its cleanup could run).
  rm -rf "$cache_root/.tmp-$name-mingw-$arch".*
  tmp=$(mktemp -d "$cache_root/.tmp-$name-mingw-$arch.XXXXXX")
  build_log=$tmp/build.log
  trap 'rm -rf "$tmp"' EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
}

_mingw_as_root() {
  [[ $(id -u) -eq 0 ]] || die "need root to $*; run as root or install it by hand"
}

mingw_install_tools() {
  local -A tool_package=(
    [cmake]=cmake
    [ninja]=ninja-build
    [dpkg-source]=dpkg-dev
    [xz]=xz-utils
    [$cxx]=g++-mingw-w64-$apt_arch-posix
    [$triple-gcc-posix]=gcc-mingw-w64-$apt_arch-posix
    [$triple-windres]=binutils-mingw-w64-$apt_arch
    [$triple-nm]=binutils-mingw-w64-$apt_arch
    [$triple-objdump]=binutils-mingw-w64-$apt_arch
  )
  local missing=() tool
  for tool in "${!tool_package[@]}"; do
    command -v "$tool" >/dev/null || missing+=("${tool_package[$tool]}")
  done
  if [[ ${#missing[@]} -gt 0 ]]; then
    mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)
    _mingw_as_root "install ${missing[*]}"
    apt_install "${missing[@]}" || die "could not install the tools: ${missing[*]}"
  fi
}

# Debian versions of a source package on offer for an upstream version (Debian may repack the
# tarball, hence versions like 3.2.4+debian-1).
_mingw_source_versions() {
  apt-cache showsrc "$1" 2>/dev/null |
    awk -v want="$1" -v up="$2" '
      /^Package:/ { pkg = $2 }
      /^Version:/ && pkg == want && index($2, up) == 1 &&
        substr($2, length(up) + 1, 1) ~ /[+~-]/ { print $2 }'
}

# Source packages come through an apt configuration of this build's own, in $tmp: deb-src entries
# mirroring the machine's "deb" entries for our suite (same mirror, suites, components and keyring) and
# lists of their own. The machine's apt sources and lists stay as they were, and no root is needed.
_mingw_source_apt() {
  local dir=$tmp/apt f stanzas lines
  mkdir -p "$dir/sources.list.d" "$dir/lists/partial"
  stanzas=$(
    for f in /etc/apt/sources.list.d/*.sources; do
      [[ -f $f ]] || continue
      awk -v suite="$MINGW_DEBIAN_SUITE" '
        BEGIN { RS = ""; FS = "\n" }
        {
          deb = 0; ok = 0; enabled = 1
          for (i = 1; i <= NF; i++) {
            if ($i ~ /^Types:/ && $i ~ /[[:space:]]deb([[:space:]]|$)/) deb = 1
            if ($i ~ /^Suites:/ && $i ~ ("[[:space:]]" suite "([-/][^[:space:]]*)?([[:space:]]|$)")) ok = 1
            if ($i ~ /^Enabled:[[:space:]]*no/) enabled = 0
          }
          if (!(deb && ok && enabled)) next
          print "Types: deb-src"
          for (i = 1; i <= NF; i++)
            if ($i !~ /^Types:/ && $i !~ /^#/) print $i
          print ""
        }' "$f"
    done
  )
  lines=$(
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
      [[ -f $f ]] || continue
      # "deb [options] URI SUITE COMPONENTS..." -> "deb-src ..."
      awk -v suite="$MINGW_DEBIAN_SUITE" '
        $1 == "deb" {
          i = 2
          if ($i ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
          s = $(i + 1)
          if (s == suite || index(s, suite "-") == 1 || index(s, suite "/") == 1) {
            sub(/^deb/, "deb-src"); print
          }
        }' "$f"
    done
  )
  [[ -n $stanzas || -n $lines ]] ||
    die "no apt 'deb' entry for $MINGW_DEBIAN_SUITE found to derive a deb-src entry from"
  [[ -z $stanzas ]] || printf '%s\n' "$stanzas" >"$dir/sources.list.d/tidings-src.sources"
  [[ -z $lines ]] || printf '%s\n' "$lines" >"$dir/sources.list.d/tidings-src.list"
  cat >"$dir/apt.conf" <<CONF
Dir::Etc::sourcelist "/dev/null";
Dir::Etc::sourceparts "$dir/sources.list.d";
Dir::State::Lists "$dir/lists";
Dir::Cache::pkgcache "";
Dir::Cache::srcpkgcache "";
CONF
  # apt downloads as its unprivileged user where that user can write.
  if [[ $(id -u) -eq 0 ]] && id _apt >/dev/null 2>&1; then
    chown -R _apt "$dir/lists"
  fi
  export APT_CONFIG=$dir/apt.conf
  log "fetching the source index of $MINGW_DEBIAN_SUITE"
  local out
  out=$(apt-get update -q 2>&1) || true
  # A Sources index that did not come shows as no version on offer below; say which one it was.
  printf '%s\n' "$out" | _apt_failed_indexes | sed 's/^/  not fetched: /' >&2
}

mingw_fetch_source() {
  local package=$1 upstream=$2 versions v
  _mingw_source_apt
  mapfile -t versions < <(_mingw_source_versions "$package" "$upstream")
  [[ ${#versions[@]} -gt 0 ]] ||
    die "apt offers no $package source for version $upstream (is the Sources index of $MINGW_DEBIAN_SUITE among those apt-get update could not fetch? try again later)"
  deb_version=${versions[0]}
  for v in "${versions[@]}"; do
    dpkg --compare-versions "$v" gt "$deb_version" && deb_version=$v
  done

  log "fetching source package $package $deb_version"
  mkdir "$tmp/download"
  # Let apt's unprivileged download user write here (avoids its sandbox warning).
  if [[ $(id -u) -eq 0 ]] && id _apt >/dev/null 2>&1; then
    chown _apt "$tmp/download"
  fi
  (cd "$tmp/download" && apt-get source --download-only "$package=$deb_version" >&2) ||
    die "apt-get source $package=$deb_version failed (see above)"
  unset APT_CONFIG
  _mingw_package=$package
  srcdir=$tmp/src
  # apt has already checked the files against the signed archive index, so dpkg-source's "cannot
  # verify inline signature" warning is harmless.
  dpkg-source -x "$tmp"/download/*.dsc "$srcdir" >&2 # unpacks and applies Debian's patches
}

run_logged() {
  if ! "$@" >>"$build_log" 2>&1; then
    tail -n 60 "$build_log" >&2
    die "failed: $*"
  fi
}

mingw_configure() {
  _mingw_start=$SECONDS
  log "configuring ($arch)"
  run_logged cmake -G Ninja -S "$srcdir" -B "$tmp/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_INSTALL_PREFIX="$prefix" "$@"
}

# Stage with DESTDIR: files carry the final prefix (e.g. in a .pc file), but land under $tmp/stage
# until the finished tree is renamed into place.
# shellcheck disable=SC2120  # the install options are optional
mingw_stage() {
  stage=$tmp/stage$prefix
  DESTDIR=$tmp/stage run_logged cmake --install "$tmp/build" "$@"
}

mingw_finish() {
  local elapsed=$((SECONDS - _mingw_start))
  log "built in ${elapsed}s"
  # The stamp is written last: its presence marks a complete install.
  {
    printf '%s\n' "$@"
    echo "debian-source=$_mingw_package $deb_version"
    echo "arch=$arch"
    echo "compiler=$("$cxx" --version | head -n1)"
    echo "build-seconds=$elapsed"
    echo "recipe=$recipe"
  } >"$stage/.build-stamp"
  # Swap the finished tree in. An old or incomplete prefix is moved aside first (a rename onto a
  # non-empty directory is not possible), then removed along with the rest of $tmp.
  if [[ -e $prefix ]]; then
    mv -T "$prefix" "$tmp/old-prefix"
  fi
  mv -T "$stage" "$prefix"
  log "installed into $prefix"
  echo "$prefix"
}
