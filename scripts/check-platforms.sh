#!/usr/bin/env bash
# Builds dorvex for the platforms its users have and runs the whole test
# suite on each: Windows x64 under Wine; big-endian Linux (s390x), 32-bit
# Linux (i686) and the Raspberry Pi's ARM Linux (aarch64, armhf) under qemu.
# Builds the 32-bit Windows program and, for macOS on Apple silicon and
# Intel, the program and the whole suite, which nothing here can run, and
# the release packages, then checks that the Windows zip's
# dorvex.exe extracts the sample image exactly as the Linux build does, and
# its dorvex-probe.exe prints what the Linux one prints.
#   scripts/check-platforms.sh
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)

packages=(cmake ninja-build g++ libgtest-dev googletest nlohmann-json3-dev
  qemu-user wine wine64 g++-mingw-w64-x86-64 g++-mingw-w64-i686
  g++-s390x-linux-gnu g++-i686-linux-gnu g++-aarch64-linux-gnu
  g++-arm-linux-gnueabihf binutils dpkg-dev gzip xvfb xdotool llvm)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' ||
    missing+=("$package")
done
if (( ${#missing[@]} > 0 )); then
  echo "== installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
echo "== installs done after $(( $(date +%s) - started ))s"

export WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8
# One Wine server, and Wine's own background processes, for all the test
# runs instead of one per program start. They are started here with no
# output of ours to hold open, so ctest sees each test end when it ends.
mkdir -p "${WINEPREFIX:-$HOME/.wine}"  # a fresh machine has no prefix yet
wineserver -p
/usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1
trap 'wineserver -k 2>/dev/null || true' EXIT

for preset in windows-x64 linux-s390x linux-i686 linux-aarch64 linux-armhf \
  windows-x86; do
  echo "== $preset"
  cmake --workflow --preset "$preset"
done
scripts/macos-toolchain.sh
for preset in macos-arm64 macos-x86_64; do
  echo "== $preset"
  preset_started=$(date +%s)
  cmake --workflow --preset "$preset"
  echo "$preset built in $(( $(date +%s) - preset_started ))s"
done

echo "== packages"
cmake --preset default >/dev/null
cmake --build --preset default
for dir in build/default build/windows-x64 build/windows-x86; do
  (cd "$dir" && cpack >/dev/null)
  ls -l "$dir"/dorvex-*.zip "$dir"/dorvex-*.tar.gz 2>/dev/null || true
done

echo "== the Windows zip extracts the sample as Linux does"
scratch=$(mktemp -d)
mkdir "$scratch/zip" "$scratch/windows" "$scratch/linux"
(cd "$scratch/zip" && cmake -E tar xf "$OLDPWD"/build/windows-x64/dorvex-*.zip)
for file in dorvex.exe dorvex-probe.exe README.md README.ja.md LICENSE \
  probe.md probe.schema.json; do
  test -f "$scratch/zip/$file" || { echo "zip lacks $file" >&2; exit 1; }
done
sample=$(pwd)/examples/sample.d88
(cd "$scratch/linux" && "$OLDPWD/build/default/dorvex" "$sample" \
  >../linux.out 2>../linux.err)
(cd "$scratch/windows" &&
  /usr/lib/wine/wine64 "$scratch/zip/dorvex.exe" "$sample" \
    >../windows.out 2>../windows.err)
# Windows console lines end in CR LF; the lines themselves must match.
for stream in out err; do
  tr -d '\r' <"$scratch/windows.$stream" | cmp - "$scratch/linux.$stream"
done
diff -r "$scratch/windows" "$scratch/linux"
ls "$scratch/windows"
# Piped, every line ends in CR LF.
test "$(grep -c $'\r$' "$scratch/windows.out")" = "$(wc -l <"$scratch/windows.out")"

echo "== dorvex-probe.exe probes the sample as Linux does, on two threads"
mkdir "$scratch/probe"
cp "$sample" "$scratch/probe/sample.d88"
(cd "$scratch/probe" &&
  "$OLDPWD/build/default/dorvex-probe" -j 2 sample.d88 >../linux-probe.out &&
  /usr/lib/wine/wine64 "$scratch/zip/dorvex-probe.exe" -j 2 sample.d88 \
    >../windows-probe.out)
tr -d '\r' <"$scratch/windows-probe.out" | cmp - "$scratch/linux-probe.out"
rm -r "$scratch/probe"

echo "== dorvex.exe on a terminal shows the Japanese text, in order"
# Wine draws WriteConsoleW text to its terminal as UTF-8, between cursor
# codes; the files written again replace those of the first run.
(cd "$scratch/windows" &&
  script -qc "/usr/lib/wine/wine64 '$scratch/zip/dorvex.exe' '$sample'" \
    /dev/null </dev/null) | tr -d '\r' | sed 's/\x1b\[[?0-9;]*[a-zA-Z]//g' \
  >"$scratch/terminal.txt"
cat >"$scratch/expected.txt" <<'TEXT'
1 枚めのイメージからファイルを抽出します.
ディスク 2 枚目は正しいディスクではないようです.
3 枚めのイメージからファイルを抽出します.
TEXT
diff "$scratch/expected.txt" "$scratch/terminal.txt"
diff -r "$scratch/windows" "$scratch/linux"

echo "== dorvex.exe opens an image through a path of more than 260 characters"
long=$scratch/long
for i in $(seq 1 24); do long=$long/a-directory-of-its-own-$i; done
mkdir -p "$long" "$scratch/long-out"
cp "$sample" "$long/"
echo "path of ${#long} characters"
(cd "$scratch/long-out" &&
  /usr/lib/wine/wine64 "$scratch/zip/dorvex.exe" "$long/sample.d88" >/dev/null 2>&1)
diff -r "$scratch/long-out" "$scratch/linux"

echo "== dorvex.exe in a console window of its own waits for a key"
# As Explorer does for a drop or a double click, `start` makes a console for
# the program alone. Wine draws it as a real window only with a display:
# Xvfb gives one, and xdotool presses Enter in it until the program ends.
# The Wine server started above has no display, and every console it makes
# would have none: a new one starts with the display.
wineserver -k
wineserver -w
Xvfb :47 -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
sleep 1
trap 'kill $xvfb 2>/dev/null; wineserver -k 2>/dev/null || true' EXIT
# Runs dorvex.exe with the arguments given in its own console window in
# $scratch/own, checks that it is still waiting once its work is done,
# answers the wait, and checks its exit status against $1.
in_own_window() {
  local expected=$1
  shift
  rm -rf "$scratch/own" "$scratch/own.status"
  mkdir "$scratch/own"
  # start takes the program by its Windows path.
  (cd "$scratch/own" && set +e && DISPLAY=:47 /usr/lib/wine/wine64 cmd /c start /wait \
    "$(DISPLAY=:47 /usr/lib/wine/wine64 winepath -w "$scratch/zip/dorvex.exe")" "$@" \
    </dev/null >/dev/null 2>&1
   echo $? >"$scratch/own.status") &
  local runner=$! i window
  # Its work is done when the files are there; then it must still be
  # waiting a while later.
  for i in $(seq 1 200); do
    [[ $# == 0 || -f $scratch/own/20A ]] && break
    sleep 0.1
  done
  sleep 3
  [[ ! -f $scratch/own.status ]] ||
    { echo "dorvex.exe $* ended without waiting" >&2; exit 1; }
  for i in $(seq 1 30); do
    [[ -f $scratch/own.status ]] && break
    # No window manager gives a new window the focus: xdotool does, to
    # each window in turn, pressing Enter in it.
    DISPLAY=:47 xdotool key Return 2>/dev/null || true
    for window in $(DISPLAY=:47 xdotool search --onlyvisible --name . \
      2>/dev/null); do
      DISPLAY=:47 xdotool windowfocus "$window" 2>/dev/null || true
      DISPLAY=:47 xdotool key Return 2>/dev/null || true
    done
    sleep 1
  done
  wait "$runner" || true
  test "$(cat "$scratch/own.status")" = "$expected" ||
    { echo "dorvex.exe $*: status $(cat "$scratch/own.status")" >&2; exit 1; }
}
in_own_window 0 "$sample"
diff -r "$scratch/own" "$scratch/linux"
in_own_window 1
test -z "$(ls "$scratch/own")"
echo "waited for Enter with an image and without one"

echo "== dorvex.exe carries its version and a manifest that declares long paths"
for exe in build/windows-x64/dorvex.exe build/windows-x86/dorvex.exe; do
  strings -el "$exe" | grep -qx "$(sed -nE 's/^project\(dorvex VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)"
  strings -el "$exe" | grep -qx 'Extracts the files of D88 data disks'
  grep -q '<ws2:longPathAware>true</ws2:longPathAware>' "$exe"
done
rm -rf "$scratch"

echo "== all platforms passed in $(( $(date +%s) - started ))s"
