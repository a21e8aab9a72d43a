#!/usr/bin/env bash
# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# Every source file the repository tracks names its licence in its first lines: C and C++ sources and
# headers, CMake files, shell scripts (by name or by a #! line), linker and resource inputs, and the
# templates the build fills in. Data read by tests (XML fixtures and the like) is not looked at: a
# comment there would change what is tested.
set -euo pipefail
cd "$(dirname "$0")/../.."
git rev-parse --git-dir >/dev/null 2>&1 || { echo "not a git checkout: nothing to check"; exit 0; }
missing=()
while IFS= read -r -d '' f; do
  case $f in
    *.c | *.cc | *.h | *.in | *.cmake | *.sh | *.def | *.map | *.1 | */CMakeLists.txt | CMakeLists.txt | */Makefile) ;;
    *) [ "$(head -c 2 "$f")" = '#!' ] || continue ;;
  esac
  head -n 5 "$f" | grep -q 'SPDX-License-Identifier: Apache-2.0' || missing+=("$f")
done < <(git ls-files -z)
if [ ${#missing[@]} -gt 0 ]; then
  echo "FAILED: these files lack the line 'SPDX-License-Identifier: Apache-2.0' in their first 5 lines:"
  printf '  %s\n' "${missing[@]}"
  exit 1
fi
echo "every source file names its licence"
