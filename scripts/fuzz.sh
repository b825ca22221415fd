#!/usr/bin/env bash
# Fuzzes dorvex for SECONDS in all, split between the targets, starting
# from the seed corpus in fuzz/corpus. Exits non-zero on any crash,
# sanitizer report, leak, or input that takes over 10 seconds.
#   scripts/fuzz.sh SECONDS
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:?usage: scripts/fuzz.sh SECONDS}
targets=(command_fuzzer disk_image_fuzzer probe_fuzzer)
per_target=$(( seconds / ${#targets[@]} ))
(( per_target >= 1 )) || per_target=1

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

# Absolute paths: the command and probe fuzzers work in a scratch directory
# of their own.
root=$(pwd)
work=$root/build/fuzz/work
mkdir -p "$work/artifacts"
for target in "${targets[@]}"; do
  corpus="$work/corpus-$target"
  mkdir -p "$corpus"
  echo "== $target for ${per_target}s"
  # New inputs go to the working corpus; the committed seeds stay as they are.
  set +e
  "$root/build/fuzz/fuzz/$target" "$corpus" "$root/fuzz/corpus" \
    -dict="$root/fuzz/d88.dict" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
    -max_total_time="$per_target" -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/$target-" 2>&1 |
    grep -vE '^#[0-9]+\s+(NEW|REDUCE|pulse)'
  status=${PIPESTATUS[0]}
  set -e
  if (( status != 0 )); then
    echo "fuzz: $target failed with status $status; see $work/artifacts" >&2
    exit 1
  fi
done
echo "fuzz: no findings in ${seconds}s"
