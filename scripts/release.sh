#!/usr/bin/env bash
# Makes every release package from a clean clone of what is committed: the
# page dorvex-<version>.html, which runs in a browser; the Windows zips (x64
# and x86); for Linux on x86_64, i686, aarch64 and armhf the static
# programs, as a tar.gz and a .deb each; for macOS universal programs
# (Apple silicon and Intel) as a tar.gz; a source archive that holds no
# build output; and SHA256SUMS over them all. Each package holds both
# programs, dorvex and dorvex-probe. Any clone of one commit
# gives the same bytes: every time stamp is the commit's, every owner root,
# every mode fixed, every archive's members in name order, and no build path
# in any program. Then checks each package: lintian reports no error on a
# .deb, each program carries its hardening (scripts/check-hardening.sh: a
# static PIE where the C library allows, RELRO, immediate binding, a stack
# protector, fortified calls, a stack that never runs code; on Windows a
# random base and no executable data; on macOS scripts/check-macos.sh: both
# slices, the oldest macOS, libSystem alone, PIE, a signature), and each
# Linux program extracts (or probes) the sample exactly as the native build
# does (x86_64 in an empty root directory, the others under qemu).
#   scripts/release.sh [OUTDIR]   (default: release/)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=${1:-$root/release}
[[ $out == /* ]] || out=$root/$out
version=$(sed -nE 's/^project\(dorvex VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)

work=$(mktemp -d "${TMPDIR:-/tmp}/dorvex-release.XXXXXX")
trap 'rm -rf "$work"' EXIT
git clone -q "$root" "$work/src"
cd "$work/src"
mkdir -p "$out"
rm -f "$out"/dorvex[-_]* "$out/SHA256SUMS"

SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C.UTF-8
umask 022

# Gives every file of the tree $1 the commit's time and a fixed mode.
settle() {
  chmod -R u+rwX,go+rX,go-w "$1"
  find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

# Writes the tree $1 as the archive $2, a .tar.gz or a .zip.
pack() {
  settle "$1"
  case $2 in
    *.tar.gz)
      tar -C "$1" --sort=name --owner=0 --group=0 --numeric-owner \
        --mtime="@$SOURCE_DATE_EPOCH" --format=gnu -cf - . | gzip -9n >"$2" ;;
    *.zip)
      (cd "$1" && find . -mindepth 1 | sort | sed 's|^\./||' |
        zip -X -9 -q -@ "$2") ;;
  esac
}

# Rebuilds the .deb $1 as $2 with the commit's time stamps and root as the
# owner of every file.
repack_deb() {
  local tree=$work/deb-tree
  rm -rf "$tree"
  dpkg-deb -R "$1" "$tree"
  settle "$tree"
  dpkg-deb --root-owner-group -Zxz -z9 --build "$tree" "$2" >/dev/null
}

linux_presets=(default linux-i686 linux-aarch64 linux-armhf)
programs=(dorvex dorvex-probe)
for preset in "${linux_presets[@]}" windows-x64 windows-x86; do
  echo "== $preset"
  dir=build/$preset
  cmake --preset "$preset" -DDORVEX_BUILD_TESTS=OFF >/dev/null
  cmake --build --preset "$preset" --target "${programs[@]}" >/dev/null
  name=$(sed -nE 's/^set\(CPACK_PACKAGE_FILE_NAME "(.*)"\)/\1/p' \
    "$dir/CPackConfig.cmake")
  rm -rf "$work/tree"
  cmake --install "$dir" --prefix "$work/tree" --strip >/dev/null
  if [[ $preset == windows-* ]]; then
    pack "$work/tree" "$out/$name.zip"
  else
    rm -rf "$work/tree/share/lintian"  # only a .deb speaks to lintian
    pack "$work/tree" "$out/$name.tar.gz"
    (cd "$dir" && cpack -G DEB >/dev/null)
    deb=$(ls "$dir"/dorvex_*.deb)
    repack_deb "$deb" "$out/$(basename "$deb")"
  fi
done
echo "== macOS"
# One program for both processors: each slice built with Zig's clang (the
# script installs it where it is missing, and checks it), then joined. Not
# stripped after the link, which would break the signature: the linker
# leaves the debugging symbols out.
mac_started=$(date +%s)
scripts/macos-toolchain.sh
llvm=$(llvm-config --bindir)
for arch in arm64 x86_64; do
  cmake --preset "macos-$arch" -DDORVEX_BUILD_TESTS=OFF >/dev/null
  cmake --build --preset "macos-$arch" --target "${programs[@]}" >/dev/null
done
rm -rf "$work/tree"
cmake --install build/macos-arm64 --prefix "$work/tree" >/dev/null
for program in "${programs[@]}"; do
  "$llvm/llvm-lipo" -create "build/macos-arm64/$program" \
    "build/macos-x86_64/$program" -output "$work/tree/bin/$program"
done
pack "$work/tree" "$out/dorvex-$version-macOS-universal.tar.gz"
echo "the macOS package: $(( $(date +%s) - mac_started ))s"

echo "== web"
# The page: the WebAssembly build of this commit inside one HTML file.
cmake --preset web -DDORVEX_NATIVE_BUILD= >/dev/null
cmake --build --preset web --target dorvex_html >/dev/null
cp build/web/dorvex.html "$out/dorvex-$version.html"
git archive --format=tar.gz --prefix="dorvex-$version/" \
  -o "$out/dorvex-$version-source.tar.gz" HEAD

echo "== checking the Debian packages"
for deb in "$out"/dorvex_"$version"_*.deb; do
  echo "-- $(basename "$deb")"
  lintian --fail-on error "$deb" 2>&1 | grep -v 'root privileges' || true
  lintian --fail-on error "$deb" >/dev/null 2>&1 ||
    { echo "release: lintian reports an error on $deb" >&2; exit 1; }
  test -z "$(dpkg-deb -f "$deb" Depends)" ||
    { echo "release: $deb has dependencies" >&2; exit 1; }
  rm -rf "$work/unpacked"
  dpkg-deb -x "$deb" "$work/unpacked"
  for file in usr/bin/dorvex usr/bin/dorvex-probe \
    usr/share/man/man1/dorvex.1.gz usr/share/man/ja/man1/dorvex.1.gz \
    usr/share/man/man1/dorvex-probe.1.gz \
    usr/share/man/ja/man1/dorvex-probe.1.gz usr/share/doc/dorvex/copyright \
    usr/share/doc/dorvex/README.md usr/share/doc/dorvex/README.ja.md \
    usr/share/doc/dorvex/probe.md usr/share/doc/dorvex/probe.schema.json; do
    test -f "$work/unpacked/$file" ||
      { echo "release: $deb lacks $file" >&2; exit 1; }
  done
done

echo "== each Linux program is static and extracts the sample as the build does"
sample=$work/src/examples/sample.d88
mkdir "$work/native" "$work/native-probe"
(cd "$work/native" && "$work/src/build/default/dorvex" "$sample" \
  >../native.out 2>../native.err)
test -n "$(ls "$work/native")"
# The probe on two threads, the image named alike everywhere.
cp "$sample" "$work/native-probe/sample.d88"
(cd "$work/native-probe" &&
  "$work/src/build/default/dorvex-probe" -j 2 sample.d88 >../native-probe.out)
grep -q '"disks"' "$work/native-probe.out"
for archive in "$out"/dorvex-"$version"-Linux-*.tar.gz; do
  arch=${archive##*-Linux-}
  arch=${arch%.tar.gz}
  echo "-- $arch"
  run=$work/run-$arch
  mkdir -p "$run/package" "$run/root"
  tar -C "$run/package" -xzf "$archive"
  case $arch in
    x86_64) preset=default ;;
    *) preset=linux-$arch ;;
  esac
  for program in "${programs[@]}"; do
    scripts/check-hardening.sh "$arch" "$run/package/bin/$program" \
      "build/$preset/$program"
  done
  # An empty root, or qemu with no library path: nothing but the program
  # and the image.
  cp "$run/package/bin/dorvex" "$run/package/bin/dorvex-probe" "$run/root/"
  cp "$sample" "$run/root/sample.d88"
  # Runs the program $1 with the arguments after it in the empty root.
  in_root() {
    local program=$1
    shift
    case $arch in
      x86_64) (cd "$run/root" && chroot . "/$program" "$@") ;;
      i686) (cd "$run/root" && qemu-i386 "./$program" "$@") ;;
      aarch64) (cd "$run/root" && qemu-aarch64 "./$program" "$@") ;;
      armhf) (cd "$run/root" && qemu-arm "./$program" "$@") ;;
    esac
  }
  in_root dorvex-probe -j 2 sample.d88 >"$run/probe.out"
  cmp "$run/probe.out" "$work/native-probe.out"
  rm "$run/root/dorvex-probe"
  in_root dorvex sample.d88 >"$run/out" 2>"$run/err"
  rm "$run/root/dorvex" "$run/root/sample.d88"
  cmp "$run/out" "$work/native.out"
  cmp "$run/err" "$work/native.err"
  diff -r "$run/root" "$work/native"
done

echo "== each Windows program is hardened"
for pair in x64:x86_64 x86:i686; do
  machine=${pair%%:*}
  rm -rf "$work/zip"
  mkdir "$work/zip"
  (cd "$work/zip" &&
    cmake -E tar xf "$out/dorvex-$version-Windows-${pair#*:}.zip")
  for program in "${programs[@]}"; do
    scripts/check-hardening.sh "windows-$machine" "$work/zip/$program.exe" \
      "build/windows-$machine/$program.exe"
  done
done

echo "== the macOS program"
rm -rf "$work/mac"
mkdir "$work/mac"
tar -C "$work/mac" -xzf "$out/dorvex-$version-macOS-universal.tar.gz"
for file in bin/dorvex bin/dorvex-probe share/man/man1/dorvex.1.gz \
  share/man/ja/man1/dorvex.1.gz share/man/man1/dorvex-probe.1.gz \
  share/man/ja/man1/dorvex-probe.1.gz share/doc/dorvex/LICENSE \
  share/doc/dorvex/README.md share/doc/dorvex/README.ja.md \
  share/doc/dorvex/probe.md share/doc/dorvex/probe.schema.json; do
  test -f "$work/mac/$file" || { echo "release: the macOS package lacks $file" >&2; exit 1; }
done
for program in "${programs[@]}"; do
  scripts/check-macos.sh "$work/mac/bin/$program"
done

# The source archive holds no build output.
if tar -tzf "$out/dorvex-$version-source.tar.gz" | grep -qE '/build/|\.o$|\.deb$'; then
  echo "release: the source archive holds build output" >&2
  exit 1
fi

cd "$out"
grep -q "default-src 'none'" "dorvex-$version.html" ||
  { echo "release: the page lacks its policy" >&2; exit 1; }
sha256sum dorvex[-_]* >SHA256SUMS
sha256sum -c --quiet SHA256SUMS
ls -l "$out"
cat SHA256SUMS
