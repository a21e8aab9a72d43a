#!/usr/bin/env bash
# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# Builds the libFuzzer targets with clang (AddressSanitizer and UBSan, the core instrumented for
# coverage) in build/fuzz and runs each for a bounded time, then runs the message file's round trip once
# over the XML documents of the machine that tests/fuzz/debian_xml.txt names.
#
#   scripts/fuzz.sh [seconds-per-target]      (default 20)
#
# The seed corpus is tests/fixtures and tests/fuzz/seeds; what the fuzzer finds on the way stays in
# build/fuzz/corpus/<target>, crash inputs go to build/fuzz/artifacts/. Exits non-zero when a target
# finds a crash, a leak, a timeout or an input that runs out of memory, or when fewer of the documents
# make the round trip than every Debian 12 machine with the suites' packages has.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
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
targets=(tidings_msg_file_fuzzer tidings_msg_file_round_trip_fuzzer tidings_number_text_fuzzer)
cmake --build "$dir" -j"$jobs" --target "${targets[@]}"

mkdir -p "$dir/artifacts"
failed=()
# The targets run at once, each on its own output, since libFuzzer keeps one core busy: the suite takes
# the time of one target, not of all of them.
pids=()
for target in "${targets[@]}"; do
  corpus="$dir/corpus/$target"
  mkdir -p "$corpus"
  echo "==== $target: ${seconds}s"
  rm -f "$dir/artifacts/$target-"*
  # The fixtures and seeds seed the corpus directory the fuzzer writes to, so the source tree stays as it is.
  "$dir/bin/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -artifact_prefix="$dir/artifacts/$target-" -print_final_stats=1 "$corpus" "$root/tests/fixtures" \
    "$root/tests/fuzz/seeds" >"$dir/$target.log" 2>&1 &
  pids+=($!)
done
for i in "${!targets[@]}"; do
  target=${targets[i]}
  if ! wait "${pids[i]}"; then
    tail -n 60 "$dir/$target.log"
    failed+=("$target")
  elif compgen -G "$dir/artifacts/$target-*" >/dev/null; then
    # libFuzzer's exit status is not the only word: an input it saved as a finding fails the target too.
    tail -n 60 "$dir/$target.log"
    failed+=("$target")
  else
    echo "$target: $(grep -E '^(Done|stat::number_of_executed_units|stat::new_units_added)' "$dir/$target.log" | tr '\n' ' ')"
  fi
done

# The documents the list names that this machine has, each once; a glob that matches nothing is skipped.
docs=()
while IFS= read -r line; do
  case $line in '' | '#'*) continue ;; esac
  # shellcheck disable=SC2086 # the line is a glob, to expand
  for file in $line; do [ -f "$file" ] && docs+=("$file"); done
done <"$root/tests/fuzz/debian_xml.txt"
[ ${#docs[@]} -eq 0 ] || mapfile -t docs < <(printf '%s\n' "${docs[@]}" | sort -u)
# Some 120 of them make the round trip on every such machine; fewer than this means the list went stale.
min_round_trips=80
echo "==== tidings_msg_file_round_trip_fuzzer: ${#docs[@]} XML documents of this machine"
log="$dir/debian-xml.log"
rm -f "$dir/artifacts/debian-xml-"*
if [ ${#docs[@]} -eq 0 ]; then
  failed+=("the documents: none of them on this machine")
elif ! TIDINGS_ROUND_TRIP_COUNTS=1 "$dir/bin/tidings_msg_file_round_trip_fuzzer" -rss_limit_mb=2048 \
    -artifact_prefix="$dir/artifacts/debian-xml-" "${docs[@]}" >"$log" 2>&1 ||
    compgen -G "$dir/artifacts/debian-xml-*" >/dev/null; then
  grep -v '^Running: \|^Executed ' "$log" | tail -n 40
  failed+=("tidings_msg_file_round_trip_fuzzer on the documents (log: $log)")
else
  counts=$(grep '^tidings round trip: ' "$log" || true)
  echo "${counts:-no count}"
  saved=$(sed -n 's/.*, \([0-9]*\) saved and read back$/\1/p' <<<"$counts")
  if [ "${saved:-0}" -lt $min_round_trips ]; then
    failed+=("the documents: ${saved:-no} round trips, fewer than $min_round_trips")
  fi
fi

if [ ${#failed[@]} -gt 0 ]; then
  echo "FINDINGS in: ${failed[*]} (inputs in $dir/artifacts)"
  exit 1
fi
echo "No findings: ${targets[*]}"
