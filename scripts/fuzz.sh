#!/usr/bin/env bash
# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# Builds the libFuzzer targets with clang (AddressSanitizer and UBSan, the core instrumented for
# coverage) in build/fuzz and runs each for a bounded time.
#
#   scripts/fuzz.sh [seconds-per-target]      (default 30)
#
# The seed corpus is tests/fixtures and tests/fuzz/seeds; what the fuzzer finds on the way stays in
# build/fuzz/corpus/<target>, crash inputs go to build/fuzz/artifacts/. Exits non-zero when a target
# finds a crash, a leak, a timeout or an input that runs out of memory.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
case $seconds in
  '' | *[!0-9]*) echo "usage: $0 [seconds-per-target]" >&2; exit 2 ;;
esac
dir="$root/build/fuzz"
mkdir -p "$root/build"
jobs=$(nproc 2>/dev/null || echo 2)

CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIDINGS_FUZZ=ON \
  -DTIDINGS_SANITIZE=address,undefined -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link \
  -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link -DTIDINGS_SETTINGS_FILE="$dir/test-registry.reg" \
  >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
targets=(tidings_msg_file_fuzzer tidings_number_text_fuzzer)
cmake --build "$dir" -j"$jobs" --target "${targets[@]}"

mkdir -p "$dir/artifacts"
failed=()
for target in "${targets[@]}"; do
  corpus="$dir/corpus/$target"
  mkdir -p "$corpus"
  echo "==== $target: ${seconds}s"
  rm -f "$dir/artifacts/$target-"*
  # The fixtures and seeds seed the corpus directory the fuzzer writes to, so the source tree stays as it is.
  if ! "$dir/bin/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
      -artifact_prefix="$dir/artifacts/$target-" -print_final_stats=1 "$corpus" "$root/tests/fixtures" \
      "$root/tests/fuzz/seeds"; then
    failed+=("$target")
  elif compgen -G "$dir/artifacts/$target-*" >/dev/null; then
    # libFuzzer's exit status is not the only word: an input it saved as a finding fails the target too.
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "FINDINGS in: ${failed[*]} (inputs in $dir/artifacts)"
  exit 1
fi
echo "No findings: ${targets[*]}"
