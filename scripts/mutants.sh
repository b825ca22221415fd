#!/usr/bin/env bash
# Seeded-fault (mutation) testing: applies each fault of scripts/mutants.txt
# alone to a copy of the tree, builds it incrementally and runs the whole
# suite with a per-test timeout. A fault is caught when a test fails or
# times out. Prints one line a fault, then the totals and the time taken.
# Exits non-zero when a fault not marked equivalent survives, when a fault
# marked equivalent is caught, or when a fault's text is not found exactly
# once in its file (a stale line must be updated, not skipped).
#   scripts/mutants.sh [LIST]
#
# A line of the list:  FILE: OLD TEXT ==> NEW TEXT
# with, for a fault that no test can tell from outside, the suffix
#   ## equivalent: REASON
# Blank lines and lines starting with # are comments.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
list=${1:-scripts/mutants.txt}
[[ $list == /* ]] || list=$root/$list
started=$(date +%s)

# The copy lives outside the tree, so the working tree is never touched, not
# even by an interrupted run.
work=$(mktemp -d "${TMPDIR:-/tmp}/dorvex-mutants.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM
mkdir "$work/src" "$work/pristine"
tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$work/src" -xf -
# Each fault is undone from this copy, so that editing the tree while the
# script runs changes nothing of its run.
tar -C "$work/src" -cf - . | tar -C "$work/pristine" -xf -

build() { cmake --build "$work/build" --target dorvex dorvex_tests >/dev/null 2>&1; }
# Prints the name of the first test that failed; fails when none did.
run_suite() {
  local log=$work/ctest.log
  if (cd "$work/build" && ctest -j2 --timeout 20 --stop-on-failure >"$log" 2>&1); then
    return 1
  fi
  local name
  name=$(sed -nE 's/.*Test +#[0-9]+: ([^ ]+) .*\*\*\*.*/\1/p' "$log" | head -n 1)
  echo "${name:-the suite}"
}

echo "== building the unmutated copy"
cmake -S "$work/src" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DDORVEX_WERROR=OFF -DDORVEX_TEST_TIMEOUT=20 >/dev/null
build || { echo "mutants: the unmutated tree does not build" >&2; exit 2; }
if failed=$(run_suite); then
  echo "mutants: the unmutated suite fails ($failed)" >&2
  exit 2
fi

total=0 caught=0 survived=0 equivalent=0 errors=0
while IFS= read -r line || [[ -n $line ]]; do
  [[ -z ${line// /} || $line == \#* ]] && continue
  total=$((total + 1))
  reason=
  if [[ $line == *' ## equivalent: '* ]]; then
    reason=${line#*' ## equivalent: '}
    line=${line%%' ## equivalent: '*}
  fi
  file=${line%%: *}
  rest=${line#*: }
  old=${rest%% ==> *}
  new=${rest#* ==> }
  label="$file: $old ==> $new"
  target=$work/src/$file
  if [[ $rest != *' ==> '* || ! -f $target ]]; then
    echo "BAD       $label (no such file, or no ' ==> ')"
    errors=$((errors + 1))
    continue
  fi
  original=$(<"$target")
  after_first=${original#*"$old"}
  if [[ $after_first == "$original" || $after_first == *"$old"* ]]; then
    echo "STALE     $label (the text must occur exactly once)"
    errors=$((errors + 1))
    continue
  fi
  printf '%s\n' "${original%%"$old"*}$new$after_first" >"$target"
  if ! build; then
    echo "NO BUILD  $label"
    errors=$((errors + 1))
  elif failed=$(run_suite); then
    if [[ -n $reason ]]; then
      echo "CAUGHT    $label by $failed, yet marked equivalent"
      errors=$((errors + 1))
    else
      echo "caught    $label by $failed"
      caught=$((caught + 1))
    fi
  elif [[ -n $reason ]]; then
    echo "equivalent $label ($reason)"
    equivalent=$((equivalent + 1))
  else
    echo "SURVIVED  $label"
    survived=$((survived + 1))
  fi
  cp "$work/pristine/$file" "$target"
done <"$list"

echo "mutants: $total faults, $caught caught, $survived survived," \
  "$equivalent equivalent, $errors stale or broken, in $(($(date +%s) - started))s"
((survived == 0 && errors == 0))
