#!/usr/bin/env bash
# Builds the Windows packages from the win preset's programs:
#   build/packages/pinvoro-VERSION-setup.exe     the installer (NSIS)
#   build/packages/pinvoro-VERSION-portable.zip  the same files, to unzip anywhere writable
# VERSION is project()'s in CMakeLists.txt. Installs what is missing first.
#
#   package.sh [--build DIR] [--out DIR]
# DIR of --build is a win-preset build directory (default build/pkg-win, made
# without the tests when it does not exist yet); --out is where the packages
# go (default build/packages).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build=build/pkg-win
out=build/packages
while (($#)); do
  case "$1" in
    --build) build="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    *) echo "usage: $0 [--build DIR] [--out DIR]" >&2; exit 2 ;;
  esac
done
bash scripts/setup.sh

# An existing build directory keeps its configuration (build/win has the tests).
[ -f "$build/CMakeCache.txt" ] || cmake --preset win -B "$build" -DPINVORO_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target pinvoro cbltool

version="$(sed -n 's/^#define PINVORO_VERSION_TEXT "\(.*\)"$/\1/p' "$build/generated/version.h")"
[ -n "$version" ] || { echo "package: no version in $build/generated/version.h" >&2; exit 1; }
# Windows' version resources want four numbers.
IFS=. read -r -a parts <<<"$version"
while ((${#parts[@]} < 4)); do parts+=(0); done
version4="$(IFS=.; echo "${parts[*]:0:4}")"

name="pinvoro-$version"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
stage="$out/stage/$name"
rm -rf "$out/stage"
mkdir -p "$stage/samples"
for exe in src/pinvoro.exe tools/cbltool.exe; do
  x86_64-w64-mingw32-strip -o "$stage/$(basename "$exe")" "$build/$exe"
done
cp samples/demo.cbl "$stage/samples/"
{
  printf '<!DOCTYPE html>\n<html lang="en"><head><meta charset="utf-8">\n'
  printf '<title>Pinvoro %s user guide</title>\n' "$version"
  printf '<style>body{font-family:sans-serif;max-width:50em;margin:1em auto;padding:0 1em}'
  printf 'table{border-collapse:collapse}td,th{border:1px solid #999;padding:.2em .5em}</style>\n'
  printf '</head><body>\n'
  # The guide names the packages with VERSION; these are of one version.
  sed "s/pinvoro-VERSION-/pinvoro-$version-/g" docs/guide.md | /usr/bin/python3 -m markdown -x tables -x toc
  printf '</body></html>\n'
} >"$stage/guide.html"

rm -f "$out/$name-portable.zip" "$out/$name-setup.exe"
(cd "$out/stage" && zip -q -r -X "$out/$name-portable.zip" "$name")
makensis -V2 -DVERSION="$version" -DVERSION4="$version4" -DSTAGE="$stage" \
  -DICON="$PWD/resources/pinvoro.ico" -DOUTFILE="$out/$name-setup.exe" packaging/pinvoro.nsi
rm -rf "$out/stage"

for f in "$out/$name-setup.exe" "$out/$name-portable.zip"; do
  printf 'package: %s (%s bytes)\n' "$f" "$(stat -c %s "$f")"
done
