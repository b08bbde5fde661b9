#!/usr/bin/env bash
# Installs what building and testing need, only what is missing, and prepares
# the Wine prefix. Safe to run again; quiet when there is nothing to do.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

packages=(
  cmake make g++ clang libclang-rt-14-dev       # native build, sanitizers, libFuzzer
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libcli11-dev
  mingw-w64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth x11-utils imagemagick
  fonts-noto-cjk fonts-dejavu-core
  nsis zip unzip python3-markdown python3-pefile liblnk-utils   # packages and their test
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# One prefix for all Windows runs of this checkout, kept under build/.
export WINEPREFIX="${WINEPREFIX:-$here/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "setup: creating Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  WINEARCH=win64 wineboot -i >/dev/null 2>&1 || true
  wineserver -w
  [ -f "$WINEPREFIX/system.reg" ] || { echo "setup: wineboot failed" >&2; exit 1; }
fi

# Fonts for Japanese and Chinese; re-imported whenever the file changes.
fonts_mark="$WINEPREFIX/.pinvoro-fonts-$(md5sum "$here/scripts/wine-fonts.reg" | cut -c1-12)"
if [ ! -f "$fonts_mark" ]; then
  echo "setup: configuring fonts in the Wine prefix"
  wine regedit /S "$(winepath -w "$here/scripts/wine-fonts.reg" 2>/dev/null)" >/dev/null 2>&1
  wineserver -w
  rm -f "$WINEPREFIX"/.pinvoro-fonts-*
  touch "$fonts_mark"
fi
