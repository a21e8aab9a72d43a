#!/usr/bin/env bash
# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# Holds README.md and doc/*.md to the code. Every fenced block is marked on the line before it,
#   <!-- check: KIND [ARGS][: NOTE] -->
# and checked as doc/development.md ("The documentation's check") says.
#   doc_check.sh text    the text alone (the setup suite): every block marked, the `same` blocks equal to
#                        their files, every relative link leading to a file and heading, README's length
#   doc_check.sh build   that, then the blocks run in order against an install of a build tree, in one
#                        scratch directory. From ctest, which passes in the environment: BUILD (the tree),
#                        WORK (a scratch directory), INSTALL_LIBDIR, SETTINGS (the settings file the build
#                        reads), CC and CXX, and CMAKE if cmake is not the one on the PATH
set -euo pipefail
mode=${1:-}
[ "$mode" = text ] || [ "$mode" = build ] || { echo "usage: $0 text|build" >&2; exit 2; }
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
docs=(README.md doc/*.md)
max_readme_words=1800
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }

blocks=$(mktemp -d)
trap 'rm -rf "$blocks"' EXIT
# Each fenced block to $blocks/<n>, and a line "<n> <file>:<line> <mark>" to $blocks/index.
awk -v dir="$blocks" '
  FNR == 1 { mark = ""; markline = -1 }
  /^<!-- check: .* -->$/ { mark = substr($0, 13, length($0) - 16); markline = FNR; next }
  /^```/ && !inside {
    inside = 1; n++; out = sprintf("%s/%03d", dir, n); printf "" > out
    print sprintf("%03d", n), FILENAME ":" FNR, (markline == FNR - 1 ? mark : "") > (dir "/index")
    next
  }
  /^```/ { inside = 0; close(out); next }
  inside { print > out }
' "${docs[@]}"

# The text a `same` block stands for: the file without its licence lines and the blank line after them
# (a data file has none).
unlicensed() {
  if grep -q SPDX-License-Identifier "$1"; then sed '1,/SPDX-License-Identifier/d' "$1" | sed '1{/^$/d}'; else cat "$1"; fi
}

# ---- The text.
while read -r n where kind args; do
  case $kind in
    same) if ! { [ -f "$args" ] && unlicensed "$args" | cmp -s - "$blocks/$n"; }; then fail "$where: the block is not $args"; fi ;;
    write | run | compile | msgcheck | log) ;;
    none:) [ -n "$args" ] || fail "$where: say why the block is not checked" ;;
    *) fail "$where: the block has no known check mark ('${kind}')" ;;
  esac
done <"$blocks/index"

# GitHub's anchor of each heading of a file.
anchors() { sed -n 's/^#\{1,6\} //p' "$1" | tr '[:upper:]' '[:lower:]' | sed 's/[^a-z0-9 _-]//g; s/ /-/g'; }
for doc in "${docs[@]}"; do
  while IFS= read -r link; do
    target=${link%%#*}
    anchor=${link#"$target"}
    case $target in http:* | https:* | mailto:*) continue ;; esac
    file=$(dirname "$doc")/$target
    [ -n "$target" ] || file=$doc
    [ -e "$file" ] || { fail "$doc: the link $link leads to no file"; continue; }
    [ -z "$anchor" ] || anchors "$file" | grep -qxF "${anchor#\#}" || fail "$doc: the link $link leads to no heading"
  done < <(grep -o '\]([^) ]*)' "$doc" | sed 's/^](//; s/)$//')
done

words=$(wc -w <README.md)
[ "$words" -le "$max_readme_words" ] || fail "README.md has $words words, more than $max_readme_words: move detail to doc/"

# ---- The blocks, run.
if [ "$mode" = build ]; then
  for var in BUILD WORK INSTALL_LIBDIR SETTINGS CC CXX; do
    [ -n "${!var:-}" ] || { echo "doc_check.sh: $var is not set" >&2; exit 2; }
  done
  rm -rf "$WORK" && mkdir -p "$WORK/scratch"
  export PREFIX=$WORK/prefix BUILD
  "${CMAKE:-cmake}" --install "$BUILD" --prefix "$PREFIX" >"$WORK/install.log"
  libdir=$PREFIX/$INSTALL_LIBDIR
  mkdir -p "$libdir/Config"
  export PKG_CONFIG_PATH=$libdir/pkgconfig PKG_CONFIG_LIBDIR=$libdir/pkgconfig CMAKE_PREFIX_PATH=$PREFIX
  export LD_LIBRARY_PATH=$libdir PATH=$PREFIX/bin:$PATH
  # The settings file is the machine's: put back what was there.
  [ -e "$SETTINGS" ] && cp -p "$SETTINGS" "$WORK/settings.saved"
  trap 'rm -rf "$blocks"; rm -f "$SETTINGS"; [ ! -e "$WORK/settings.saved" ] || mv "$WORK/settings.saved" "$SETTINGS"' EXIT
  scratch=$WORK/scratch
  while read -r n where kind args; do
    block=$blocks/$n
    case $kind in
      same) cp "$block" "$scratch/$(basename "$args")" ;;
      write) if [ "$args" = "\$SETTINGS" ]; then cp "$block" "$SETTINGS"; else cp "$block" "$scratch/$args"; fi ;;
      run)
        sed -e "${args%%: *}" "$block" >"$WORK/$n.sh"
        [ -s "$WORK/$n.sh" ] || fail "$where: the mark leaves nothing to run"
        (cd "$scratch" && bash -euo pipefail "$WORK/$n.sh") </dev/null >"$WORK/$n.out" 2>&1 ||
          { cat "$WORK/$n.out"; fail "$where: the commands failed"; } ;;
      compile)
        if [ "$args" = c ]; then compile=("$CC" -std=c11 -x c); else compile=("$CXX" -std=c++17 -x c++); fi
        "${compile[@]}" -fsyntax-only -Wall -Werror -I"$PREFIX/include" "$block" || fail "$where: it does not compile" ;;
      msgcheck)
        cp "$block" "$scratch/check.xml"
        status=0
        (cd "$scratch" && tidings-msgcheck check.xml) </dev/null >"$WORK/$n.out" 2>&1 || status=$?
        [ "$status" = "$args" ] || { cat "$WORK/$n.out"; fail "$where: tidings-msgcheck exits $status, not $args"; } ;;
      log)
        (cd "$scratch" && ./client) </dev/null >"$WORK/$n.out" 2>&1 || { cat "$WORK/$n.out"; fail "$where: ./client failed"; }
        sed 's/\r$//' "$libdir/Config/UILogTrace.txt" >"$WORK/trace.txt" 2>/dev/null || : >"$WORK/trace.txt"
        while IFS= read -r line; do
          # The line's shape: its own text, any number where it has one.
          pattern=$(printf '%s\n' "$line" | sed 's/[][\\.^$*+?(){}|]/\\&/g; s/[0-9][0-9]*/[0-9]+/g')
          grep -Eqx "$pattern" "$WORK/trace.txt" || fail "$where: the trace log has no line like: $line"
        done <"$block" ;;
    esac
  done <"$blocks/index"
fi

[ "$failures" -eq 0 ] || { echo "$failures of the documentation's checks failed" >&2; exit 1; }
echo "the documentation's blocks hold ($mode)"
