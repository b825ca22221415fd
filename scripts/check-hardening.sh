#!/usr/bin/env bash
# Checks that a released program carries the hardening it is built with,
# reading the file itself. Fails, naming what is missing, when one is not
# there.
#   scripts/check-hardening.sh MACHINE RELEASED BUILT
# MACHINE: x86_64, i686, aarch64, armhf (Linux), windows-x64 or windows-x86.
# RELEASED: the program as packaged (stripped). BUILT: the same program
# before stripping, whose symbols show which functions are protected.
set -euo pipefail
machine=$1 released=$2 built=$3
missing=()

# Counts the functions of the program's own code whose disassembly matches
# the awk pattern $2 (anywhere in the body) or, with "first", whose first
# instruction does.
own_functions() {
  local objdump=$1 where=$2 pattern=$3
  "$objdump" -d -C --no-show-raw-insn "$built" | awk -v where="$where" \
    -v pattern="$pattern" '
    /^[0-9a-f]+ <.*>:$/ { fn = $0; first = 1; next }
    fn ~ /dorvex::/ && NF > 1 {
      if ((where == "first" && first) || where == "any") {
        if ($0 ~ pattern) hit[fn] = 1
      }
      first = 0
    }
    END { print length(hit) }'
}

case $machine in
  windows-*)
    objdump=objdump
    characteristics=$(objdump -p "$released")
    flags=(DYNAMIC_BASE NX_COMPAT)
    [[ $machine == windows-x64 ]] && flags+=(HIGH_ENTROPY_VA)
    for flag in "${flags[@]}"; do
      grep -qw "$flag" <<<"$characteristics" || missing+=("$flag")
    done
    # A random base needs relocations to move the program by.
    objdump -h "$released" | grep -q '\.reloc' || missing+=(".reloc section")
    # Linked statically: no DLL of the compiler's runtime (its C++ library,
    # its threads) to ship beside the program.
    runtime=$(objdump -p "$released" | awk '/DLL Name:/ { print $3 }' |
      grep -iE '^(libstdc\+\+|libgcc|libwinpthread)' | xargs || true)
    [[ -z $runtime ]] || missing+=("static linking (imports $runtime)")
    ;;
  *)
    case $machine in
      x86_64 | i686) objdump=objdump ;;
      aarch64) objdump=aarch64-linux-gnu-objdump ;;
      armhf) objdump=arm-linux-gnueabihf-objdump ;;
      *) echo "check-hardening: unknown machine $machine" >&2; exit 2 ;;
    esac
    header=$(readelf -hW "$released")
    segments=$(readelf -lW "$released")
    dynamic=$(readelf -dW "$released")
    if grep -q 'INTERP' <<<"$segments" || grep -q 'NEEDED' <<<"$dynamic"; then
      missing+=("static linking")
    fi
    grep -q 'GNU_RELRO' <<<"$segments" || missing+=("RELRO")
    # The stack's segment is RW, never RWE.
    grep -E 'GNU_STACK' <<<"$segments" | grep -qE ' RW +0x' ||
      missing+=("non-executable stack")
    if [[ $machine == armhf ]]; then
      # Debian's armhf C library has no start-up code for a static PIE.
      grep -q 'EXEC' <<<"$header" || missing+=("static executable")
    else
      grep -q 'DYN (Position-Independent' <<<"$header" &&
        grep -q 'PIE' <<<"$dynamic" || missing+=("static PIE")
      grep -q 'BIND_NOW' <<<"$dynamic" || missing+=("immediate binding")
      if command -v hardening-check >/dev/null; then
        # Of what it knows, only RELRO and binding apply to a static PIE:
        # it looks for the rest among dynamic symbols, which a static
        # program has none of.
        hardening-check --quiet --nopie --nostackprotector --nofortify \
          --nocfprotection "$released" >/dev/null ||
          missing+=("hardening-check (RELRO, BIND_NOW)")
      fi
    fi
    if [[ $(own_functions "$objdump" any '_chk>' ) == 0 ]]; then
      missing+=("_FORTIFY_SOURCE")
    fi
    if [[ $machine == x86_64 || $machine == i686 ]] &&
      [[ $(own_functions "$objdump" first 'endbr(32|64)') == 0 ]]; then
      missing+=("-fcf-protection")
    fi
    ;;
esac
if [[ $(own_functions "$objdump" any '__stack_chk_fail') == 0 ]]; then
  missing+=("stack protector")
fi

if (( ${#missing[@]} > 0 )); then
  printf 'check-hardening: %s (%s) lacks:' "$released" "$machine" >&2
  printf ' %s;' "${missing[@]}" >&2
  echo >&2
  exit 1
fi
echo "hardened: $machine $(basename "$released")"
