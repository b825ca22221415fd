#!/usr/bin/env bash
# Makes every release package from a clean clone of what is committed: the
# Windows zips (x64 and x86), the Linux tar.gz and .deb, and a source archive
# that holds no build output, with a SHA256SUMS file over all of them. Then
# checks the .deb: lintian reports no error, and the program unpacked from it
# extracts the sample exactly as the build does.
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

for preset in default windows-x64 windows-x86; do
  echo "== $preset"
  cmake --preset "$preset" -DDORVEX_BUILD_TESTS=OFF >/dev/null
  cmake --build --preset "$preset" >/dev/null
  (cd "build/$preset" && cpack >/dev/null)
  cp "build/$preset"/dorvex-*.zip "build/$preset"/dorvex-*.tar.gz \
    "build/$preset"/dorvex_*.deb "$out"/ 2>/dev/null || true
done
git archive --format=tar.gz --prefix="dorvex-$version/" \
  -o "$out/dorvex-$version-source.tar.gz" HEAD

echo "== checking the Debian package"
deb=$(ls "$out"/dorvex_"$version"_*.deb)
lintian --fail-on error --suppress-tags binary-has-unneeded-section "$deb" 2>&1 |
  grep -v 'root privileges' || true
lintian --fail-on error "$deb" >/dev/null 2>&1 ||
  { echo "release: lintian reports an error" >&2; exit 1; }
mkdir "$work/unpacked" "$work/from-deb" "$work/from-build"
dpkg -x "$deb" "$work/unpacked"
for file in usr/bin/dorvex usr/share/man/man1/dorvex.1.gz \
  usr/share/man/ja/man1/dorvex.1.gz usr/share/doc/dorvex/copyright \
  usr/share/doc/dorvex/README.md usr/share/doc/dorvex/README.ja.md; do
  test -f "$work/unpacked/$file" || { echo "release: .deb lacks $file" >&2; exit 1; }
done
sample=$work/src/examples/sample.d88
(cd "$work/from-deb" && "$work/unpacked/usr/bin/dorvex" "$sample" >../deb.out 2>../deb.err)
(cd "$work/from-build" && "$work/src/build/default/dorvex" "$sample" >../build.out 2>../build.err)
cmp "$work/deb.out" "$work/build.out"
cmp "$work/deb.err" "$work/build.err"
diff -r "$work/from-deb" "$work/from-build"
test -n "$(ls "$work/from-deb")"

# The source archive holds no build output.
if tar -tzf "$out/dorvex-$version-source.tar.gz" | grep -qE '/build/|\.o$|\.deb$'; then
  echo "release: the source archive holds build output" >&2
  exit 1
fi

cd "$out"
sha256sum dorvex[-_]* >SHA256SUMS
sha256sum -c --quiet SHA256SUMS
ls -l "$out"
