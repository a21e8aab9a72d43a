#!/usr/bin/env bash
#
# build-xerces-mingw.sh - cross-build Xerces-C as a static Windows library with mingw-w64.
#
# Usage: scripts/build-xerces-mingw.sh <x86_64|i686> [cache-root]
#
# Builds Xerces-C (static library, headers, CMake package config) from the
# Debian 12 ("bookworm") xerces-c source package with Debian's mingw-w64
# "posix" compilers, and installs it into
#
#     <cache-root>/xerces-c-<version>-mingw-<arch>-<recipe>/
#
# (cache-root defaults to /var/cache/tidings; <recipe> is the start of a
# hash of the build recipe, see below).
#
# The install prefix is printed as the last line on stdout; everything else
# (progress, apt and build output) goes to stderr, so callers can do
#
#     XERCES_PREFIX=$(scripts/build-xerces-mingw.sh x86_64 | tail -n1)
#
# Caching: a stamp file is written as the very last file of a finished
# install, and the whole tree is moved into place with one rename.  If the
# prefix holds a stamp for the same build recipe, the script only prints the
# path.  The version and a hash of the build recipe (options, toolchain file)
# are part of the prefix name, so changing either builds afresh into a new
# prefix, and a build tree configured with an older recipe keeps its own.
# Sources are fetched, built and staged in a temporary directory under the
# cache root, so an interrupted run leaves no half-installed prefix behind
# and can simply be rerun.
#
# Build choices (and why):
#   * Static library; Release with -O2; only the library target is built
#     (the tests, samples and docs subdirectories are left out of the
#     configure, which also keeps the build to a few minutes on 2 cores).
#     Tidings.dll links it in, so the DLL is one file that needs nothing but
#     Windows, and an exception thrown inside Xerces is thrown and caught in
#     one module: each module has an unwinder of its own once the GCC runtime
#     is linked statically, and on i686 (DWARF-2 unwinding) an exception
#     cannot pass from one module into another.
#   * No network support at all (-Dnetwork=OFF): Xerces then has no net
#     accessor, so it can never fetch a DTD, schema or entity over the
#     network.  This is a hardening requirement; the script checks that the
#     library refers to no socket/HTTP function.
#   * Windows transcoder, in-memory message loader, no ICU, no curl: the
#     library depends on nothing but Windows itself and the GCC runtime, which
#     each module that links it brings along (statically, in Tidings).
#
# Requirements: root for installing missing tools and for adding a deb-src
# entry (skipped when everything is already there).  Environment:
#   XERCES_BUILD_JOBS   parallel build jobs (default 2)

set -euo pipefail

readonly XERCES_VERSION=3.2.4
readonly DEBIAN_SUITE=bookworm
readonly SOURCE_PACKAGE=xerces-c
# Bump when the build changes in a way the recipe hash below cannot see.
readonly RECIPE_REVISION=1

readonly prog=${0##*/}
log() { printf '%s: %s\n' "$prog" "$*" >&2; }
die() { log "error: $*"; exit 1; }

usage() {
    echo "usage: $prog <x86_64|i686> [cache-root]" >&2
    exit 2
}

[[ $# -ge 1 && $# -le 2 ]] || usage
arch=$1
case $arch in
    x86_64) apt_arch=x86-64 ;;
    i686)   apt_arch=i686 ;;
    *)      usage ;;
esac
cache_root=$(realpath -m -- "${2:-/var/cache/tidings}")
jobs=${XERCES_BUILD_JOBS:-2}

readonly triple=$arch-w64-mingw32
readonly cxx=$triple-g++-posix
readonly objdump=$triple-objdump

script_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
readonly toolchain=$script_dir/../cmake/toolchain-mingw-$arch.cmake
[[ -f $toolchain ]] || die "toolchain file not found: $toolchain"

# Xerces CMake options.  Everything that matters is pinned explicitly rather
# than left to auto-detection.
cmake_options=(
    -DCMAKE_BUILD_TYPE=Release
    "-DCMAKE_C_FLAGS_RELEASE=-O2 -DNDEBUG"
    "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG"
    -DBUILD_SHARED_LIBS=OFF
    -Dnetwork=OFF
    -Dtranscoder=windows
    -Dmessage-loader=inmemory
    -Dfile-manager=windows
    -Dmutex-manager=standard
    -Dxmlch-type=char16_t
    -DCMAKE_DISABLE_FIND_PACKAGE_ICU=ON
    -DCMAKE_DISABLE_FIND_PACKAGE_CURL=ON
    -DCMAKE_INSTALL_BINDIR=bin
    -DCMAKE_INSTALL_LIBDIR=lib
    -DCMAKE_INSTALL_INCLUDEDIR=include
)

recipe=$(
    {
        echo "$XERCES_VERSION $arch $RECIPE_REVISION"
        printf '%s\n' "${cmake_options[@]}"
        cat "$toolchain"
    } | sha256sum | cut -d' ' -f1
)
readonly recipe
readonly prefix=$cache_root/xerces-c-$XERCES_VERSION-mingw-$arch-${recipe:0:12}
readonly stamp=$prefix/.build-stamp

# True if the prefix holds a finished install of this very recipe.
install_is_current() {
    [[ -f $stamp ]] && grep -qx "recipe=$recipe" "$stamp"
}

if install_is_current; then
    echo "$prefix"
    exit 0
fi

# ---------------------------------------------------------------------------
# From here on we build.  Serialise concurrent runs for the same arch.

mkdir -p "$cache_root"
exec 9>"$cache_root/.xerces-c-mingw-$arch.lock"
flock 9
if install_is_current; then     # another run finished it while we waited
    echo "$prefix"
    exit 0
fi

# Leftovers of an interrupted run (killed before its cleanup could run).
rm -rf "$cache_root/.tmp-xerces-c-mingw-$arch".*

tmp=$(mktemp -d "$cache_root/.tmp-xerces-c-mingw-$arch.XXXXXX")
cleanup() { rm -rf "$tmp"; }
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

as_root() {
    [[ $(id -u) -eq 0 ]] || die "need root to $*; run as root or install it by hand"
}

# apt_update and apt_install: a failed index is a warning, an unresolvable install is tried again.
# shellcheck source=scripts/lib/apt.sh
source "$script_dir/lib/apt.sh"

# --- Tools ------------------------------------------------------------------

declare -A tool_package=(
    [cmake]=cmake
    [ninja]=ninja-build
    [dpkg-source]=dpkg-dev
    [xz]=xz-utils
    [$cxx]=g++-mingw-w64-$apt_arch-posix
    [$triple-gcc-posix]=gcc-mingw-w64-$apt_arch-posix
    [$triple-windres]=binutils-mingw-w64-$apt_arch
    [$triple-nm]=binutils-mingw-w64-$apt_arch
    [$objdump]=binutils-mingw-w64-$apt_arch
)
missing=()
for tool in "${!tool_package[@]}"; do
    command -v "$tool" >/dev/null || missing+=("${tool_package[$tool]}")
done
if [[ ${#missing[@]} -gt 0 ]]; then
    mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)
    as_root "install ${missing[*]}"
    apt_install "${missing[@]}" || die "could not install the tools: ${missing[*]}"
fi

# --- Source package ---------------------------------------------------------

# Debian versions of the source package on offer for our upstream version
# (Debian's tarball is repacked, hence versions like 3.2.4+debian-1).
source_versions() {
    apt-cache showsrc "$SOURCE_PACKAGE" 2>/dev/null |
        awk -v up="$XERCES_VERSION" '
            /^Package:/ { pkg = $2 }
            /^Version:/ && pkg == "xerces-c" && index($2, up) == 1 &&
                substr($2, length(up) + 1, 1) ~ /[+~-]/ { print $2 }'
}

# Is a deb-src entry for our suite configured (either sources format)?
have_deb_src() {
    local f
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [[ -f $f ]] || continue
        grep -Eq "^[[:space:]]*deb-src[[:space:]].*[[:space:]]$DEBIAN_SUITE([-/][^[:space:]]*)?([[:space:]]|\$)" "$f" && return 0
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        [[ -f $f ]] || continue
        awk -v suite="$DEBIAN_SUITE" '
            BEGIN { RS = ""; FS = "\n"; found = 0 }
            {
                src = 0; ok = 0; enabled = 1
                for (i = 1; i <= NF; i++) {
                    if ($i ~ /^Types:/ && $i ~ /[[:space:]]deb-src([[:space:]]|$)/) src = 1
                    if ($i ~ /^Suites:/ && $i ~ ("[[:space:]]" suite "([-/][^[:space:]]*)?([[:space:]]|$)")) ok = 1
                    if ($i ~ /^Enabled:[[:space:]]*no/) enabled = 0
                }
                if (src && ok && enabled) found = 1
            }
            END { exit !found }' "$f" && return 0
    done
    return 1
}

# Add deb-src entries mirroring the existing "deb" entries for our suite
# (same mirror, suites, components and keyring), in the same format.
add_deb_src() {
    local f out822=/etc/apt/sources.list.d/tidings-deb-src.sources
    local outlist=/etc/apt/sources.list.d/tidings-deb-src.list
    local header="# Added by Tidings' scripts/build-xerces-mingw.sh: source packages for apt-get source."
    local stanzas lines
    stanzas=$(
        for f in /etc/apt/sources.list.d/*.sources; do
            [[ -f $f && $f != "$out822" ]] || continue
            awk -v suite="$DEBIAN_SUITE" '
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
            [[ -f $f && $f != "$outlist" ]] || continue
            # "deb [options] URI SUITE COMPONENTS..." -> "deb-src ..."
            awk -v suite="$DEBIAN_SUITE" '
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
        die "no apt 'deb' entry for $DEBIAN_SUITE found to derive a deb-src entry from"
    as_root "add a deb-src entry"
    if [[ -n $stanzas ]]; then
        log "adding $out822"
        printf '%s\n\n%s\n' "$header" "$stanzas" > "$out822"
    fi
    if [[ -n $lines ]]; then
        log "adding $outlist"
        printf '%s\n%s\n' "$header" "$lines" > "$outlist"
    fi
}

if [[ -z $(source_versions) ]]; then
    have_deb_src || add_deb_src
    # A deb-src entry added now needs a fresh update, even if this run has had one.
    _tidings_apt_updated=
    apt_update || die "apt-get update failed"
fi
mapfile -t versions < <(source_versions)
[[ ${#versions[@]} -gt 0 ]] ||
    die "apt offers no $SOURCE_PACKAGE source for version $XERCES_VERSION (is the Sources index of $DEBIAN_SUITE among those apt-get update could not fetch? try again later)"
deb_version=${versions[0]}
for v in "${versions[@]}"; do
    dpkg --compare-versions "$v" gt "$deb_version" && deb_version=$v
done

log "fetching source package $SOURCE_PACKAGE $deb_version"
mkdir "$tmp/download"
# Let apt's unprivileged download user write here (avoids its sandbox warning).
if [[ $(id -u) -eq 0 ]] && id _apt >/dev/null 2>&1; then
    chown _apt "$tmp/download"
fi
(cd "$tmp/download" && apt-get source --download-only "$SOURCE_PACKAGE=$deb_version" >&2) ||
    die "apt-get source $SOURCE_PACKAGE=$deb_version failed (see above)"
dsc=$(ls "$tmp/download"/*.dsc)
srcdir=$tmp/src
# apt has already checked the files against the signed archive index, so
# dpkg-source's "cannot verify inline signature" warning is harmless.
dpkg-source -x "$dsc" "$srcdir" >&2      # unpacks and applies Debian's patches

grep -q "^AC_INIT(\[xerces-c\],\[$XERCES_VERSION\])" "$srcdir/configure.ac" ||
    die "unpacked source is not Xerces-C $XERCES_VERSION"

# Configure only the library: drop the doc, tests and samples directories
# (samples would otherwise also be needed by "install").
sed -i -E 's/^add_subdirectory\((doc|tests|samples)\)/# &  (not needed for the library)/' \
    "$srcdir/CMakeLists.txt"
if [[ $(grep -cE '^add_subdirectory\(' "$srcdir/CMakeLists.txt") -ne 1 ]] ||
    ! grep -qx 'add_subdirectory(src)' "$srcdir/CMakeLists.txt"; then
    die "unexpected layout of the top-level CMakeLists.txt"
fi

# --- Configure, build, install ----------------------------------------------

build_log=$tmp/build.log
run_logged() {
    if ! "$@" >>"$build_log" 2>&1; then
        tail -n 60 "$build_log" >&2
        die "failed: $*"
    fi
}

start=$SECONDS
log "configuring ($arch)"
run_logged cmake -G Ninja -S "$srcdir" -B "$tmp/build" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    "${cmake_options[@]}"
grep -Eq 'NetAccessor: +OFF$' "$build_log" || die "Xerces was configured with a net accessor"

log "building with $jobs jobs (a few minutes)"
run_logged cmake --build "$tmp/build" --target xerces-c -j "$jobs"

# Stage with DESTDIR: files carry the final prefix (e.g. in xerces-c.pc),
# but land under $tmp/stage until the finished tree is renamed into place.
stage=$tmp/stage$prefix
DESTDIR=$tmp/stage run_logged cmake --install "$tmp/build" --strip

lib=$stage/lib/libxerces-c.a
[[ -f $lib && -f $stage/cmake/XercesCConfig.cmake &&
   -f $stage/include/xercesc/util/PlatformUtils.hpp ]] ||
    die "install is missing expected files"

# Apache License 2.0: keep LICENSE and NOTICE with the binaries.
install -D -m 644 -t "$stage/share/doc/xerces-c" "$srcdir/LICENSE" "$srcdir/NOTICE"

# Hardening check: nothing in the library may call into a networking library.
if "$triple-nm" -u "$lib" | grep -Eq ' (__imp_)?_*(WSAStartup|socket|connect|Internet[A-Za-z]*|WinHttp[A-Za-z]*)(@[0-9]+)?$'; then
    die "libxerces-c.a refers to a networking function"
fi

elapsed=$((SECONDS - start))
log "built in ${elapsed}s"

# The stamp is written last: its presence marks a complete install.
cat > "$stage/.build-stamp" <<EOF
xerces-c-version=$XERCES_VERSION
debian-source=$SOURCE_PACKAGE $deb_version
arch=$arch
compiler=$("$cxx" --version | head -n1)
library=static
build-seconds=$elapsed
recipe=$recipe
EOF

# Swap the finished tree in.  An old or incomplete prefix is moved aside
# first (a rename onto a non-empty directory is not possible), then removed
# along with the rest of $tmp.
if [[ -e $prefix ]]; then
    mv -T "$prefix" "$tmp/old-prefix"
fi
mv -T "$stage" "$prefix"
log "installed into $prefix"

echo "$prefix"
