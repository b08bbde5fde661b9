#!/usr/bin/env bash
# The packages as a production floor's PC gets them: builds both with
# scripts/package.sh, installs the installer silently into a fresh Wine prefix
# (build/package-test/prefix, made anew each run) with /D=, starts the
# installed program as its Start menu shortcut does against unitsim, and
# uninstalls silently. Checks the files, the shortcut, the Apps & features
# entry, one version everywhere (CMakeLists.txt's project version), the
# settings file in the user's own folder, and that uninstalling leaves the
# user's files alone. Needs the native preset built (unitsim); the last line is
# "package: 1 passed, 0 failed" or "package: 0 passed, 1 failed".
#
#   package_test.sh [--build DIR] [--native-build DIR]
# --build is the win build the packages are made from (see package.sh).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."
here="$PWD"
build=build/pkg-win
native=build/native
while (($#)); do
  case "$1" in
    --build) build="$2"; shift 2 ;;
    --native-build) native="$2"; shift 2 ;;
    *) echo "usage: $0 [--build DIR] [--native-build DIR]" >&2; exit 2 ;;
  esac
done

work="$here/build/package-test"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all
# No Gecko or Mono prompts, and no menu entries on this machine's desktop.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
failures=0
check() {  # check MESSAGE COMMAND...
  local what="$1"
  shift
  if "$@"; then echo "ok - $what"; else echo "FAIL - $what" >&2; failures=$((failures + 1)); fi
}
finish() {
  if ((failures)); then echo "package: 0 passed, 1 failed"; exit 1; fi
  echo "package: 1 passed, 0 failed"
}
die() { echo "FAIL - $*" >&2; failures=$((failures + 1)); finish; }
started=$SECONDS

version="$(sed -n 's/^project(pinvoro VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
[ -n "$version" ] || die "no project version in CMakeLists.txt"
mkdir -p "$work"
if ! bash scripts/package.sh --build "$build" --out "$work/packages" >"$work/package.log" 2>&1; then
  tail -n 30 "$work/package.log" >&2
  die "scripts/package.sh failed; its output is in $work/package.log"
fi
tail -n 2 "$work/package.log"
setup="$work/packages/pinvoro-$version-setup.exe"
zip="$work/packages/pinvoro-$version-portable.zip"
[ -f "$setup" ] && [ -f "$zip" ] || die "no pinvoro-$version-setup.exe and -portable.zip"
wine_started=$SECONDS

rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
WINEARCH=win64 wineboot -i >/dev/null 2>&1 || true
wineserver -w
[ -f "$WINEPREFIX/system.reg" ] || die "wineboot made no prefix"
c="$WINEPREFIX/drive_c"

# A folder with a blank, which /D= takes unquoted as the last argument.
(cd "$work/packages" && wine cmd /c "pinvoro-$version-setup.exe /S /D=C:\\Floor Tools\\Pinvoro")
wineserver -w
dir="$c/Floor Tools/Pinvoro"
[ -d "$dir" ] || die "nothing installed in C:\\Floor Tools\\Pinvoro"

# The installed files are the zip's.
rm -rf "$work/portable"
unzip -q "$zip" -d "$work/portable"
portable="$work/portable/pinvoro-$version"
listing() { (cd "$1" && find . -type f | sort); }
check "the zip holds the program, cbltool, the guide and the sample" \
  test "$(listing "$portable" | tr '\n' ' ')" = "./cbltool.exe ./guide.html ./pinvoro.exe ./samples/demo.cbl "
check "the installed files are the zip's, with the uninstaller" \
  test "$(listing "$dir" | tr '\n' ' ')" = "./cbltool.exe ./guide.html ./pinvoro.exe ./samples/demo.cbl ./uninstall.exe "
for f in pinvoro.exe cbltool.exe guide.html samples/demo.cbl; do
  check "installed $f is the zip's" cmp -s "$dir/$f" "$portable/$f"
done
check "the guide is HTML with its error codes" grep -q '<td>1029</td>' "$dir/guide.html"

# VERSIONINFO: product, version, our own publisher, each program's own name.
pe_version() {
  /usr/bin/python3 - "$@" <<'EOF'
import sys, pefile
path, version = sys.argv[1], sys.argv[2]
pe = pefile.PE(path, fast_load=True)
pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
strings = {}
for info in pe.FileInfo[0]:
    if info.Key == b"StringFileInfo":
        for table in info.StringTable:
            strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
fixed = pe.VS_FIXEDFILEINFO[0]
numbers = [fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF, fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF]
want = [int(n) for n in version.split(".")] + [0] * (4 - len(version.split(".")))
for key, value in zip(sys.argv[3::2], sys.argv[4::2]):
    if strings.get(key) != value:
        sys.exit(f"{path}: {key} is {strings.get(key)!r}, not {value!r}")
if numbers != want:
    sys.exit(f"{path}: fixed file version {numbers}, not {want}")
EOF
}
check "pinvoro.exe's version resource" pe_version "$dir/pinvoro.exe" "$version" ProductName Pinvoro \
  ProductVersion "$version" FileVersion "$version" CompanyName "The Pinvoro developers" \
  OriginalFilename pinvoro.exe LegalCopyright "Copyright (C) The Pinvoro developers"
check "cbltool.exe's version resource" pe_version "$dir/cbltool.exe" "$version" ProductName Pinvoro \
  ProductVersion "$version" OriginalFilename cbltool.exe
check "the installer's version resource" pe_version "$setup" "$version" ProductVersion "$version" \
  CompanyName "The Pinvoro developers"

# The Apps & features entry, read from the prefix's registry file.
registry_key() {  # registry_key FILE KEY: its values as NAME=VALUE lines
  /usr/bin/python3 - "$@" <<'EOF'
import re, sys
text = open(sys.argv[1], encoding="utf-8", errors="replace").read()
head = "[" + sys.argv[2].replace("\\", "\\\\") + "]"
block = next((b for b in text.split("\n\n") if b.startswith(head + " ")), None)
for line in (block or "").splitlines()[1:]:
    m = re.match(r'^"((?:[^"\\]|\\.)*)"=(?:"((?:[^"\\]|\\.)*)"|dword:([0-9a-f]{8}))$', line)
    if m:
        unescape = lambda s: re.sub(r"\\(.)", r"\1", s)
        print(unescape(m[1]) + "=" + (unescape(m[2]) if m[3] is None else str(int(m[3], 16))))
EOF
}
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Pinvoro'
entry="$(registry_key "$WINEPREFIX/system.reg" "$uninstall_key")"
value() { sed -n "s/^$1=//p" <<<"$entry"; }
check "Apps & features: name and version" test "$(value DisplayName)|$(value DisplayVersion)" = "Pinvoro $version|$version"
check "Apps & features: publisher" test "$(value Publisher)" = "The Pinvoro developers"
check "Apps & features: uninstall strings" test "$(value UninstallString)|$(value QuietUninstallString)" = \
  "\"C:\\Floor Tools\\Pinvoro\\uninstall.exe\" /AllUsers|\"C:\\Floor Tools\\Pinvoro\\uninstall.exe\" /AllUsers /S"
size_kb=$(( $(du -c -k --apparent-size "$dir"/*.exe "$dir/guide.html" "$dir/samples/demo.cbl" | tail -n 1 | cut -f 1) ))
check "Apps & features: size near the files' $size_kb KiB" \
  test "$(value EstimatedSize)" -ge $((size_kb / 2)) -a "$(value EstimatedSize)" -le $((size_kb * 2))

# The shortcut: the installed program, in the user's own folder.
link="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Pinvoro/Pinvoro.lnk"
[ -f "$link" ] || die "no Start menu shortcut Pinvoro\\Pinvoro.lnk for all users"
field() { lnkinfo "$link" | sed -n "s/^[[:space:]]*$1[[:space:]]*: //p"; }
target="$(field 'Local path')"
arguments="$(field 'Command line arguments')"
start_in="$(field 'Working directory')"
check "shortcut target" test "$target" = 'C:\Floor Tools\Pinvoro\pinvoro.exe'
check "shortcut arguments" test "$arguments" = /user-folder
check "shortcut working folder" test "$start_in" = 'C:\Floor Tools\Pinvoro'

user_dir="$c/users/$(id -un)/AppData/Local/Pinvoro"
check "no per-user folder before the first start" test ! -e "$user_dir"

# The program as the shortcut starts it, against the unit (ready), until its
# main window shows; then closed as the operator closes it, which writes its
# settings.
main_window_shows() {
  local window
  window="$(xwininfo -root -tree | sed -n 's/^ *\(0x[0-9a-f]*\) "Pinvoro\[.*\]": ("pinvoro.exe".*/\1/p' | head -n 1)"
  [ -n "$window" ] && xwininfo -id "$window" | grep -q 'Map State: IsViewable'
}
run_as_shortcut() {
  cd "$(winepath -u "$start_in")"
  wine "$target" $arguments &
  local pid=$! tries=0
  until main_window_shows; do
    if ((++tries > 150)); then
      echo "no main window in 30 s; the windows:" >&2
      xwininfo -root -tree >&2
      return 1
    fi
    sleep 0.2
  done
  import -window root "$work/pinvoro.png"
  wine taskkill /im pinvoro.exe >/dev/null
  wait "$pid"
}
export -f main_window_shows run_as_shortcut
export target arguments start_in work
check "the installed program starts from the shortcut with its main window" \
  bash tests/win/with_unitsim.sh --native-build "$native" --xvfb -e "dsr on" -- bash -c run_as_shortcut
check "its settings file is written in %LOCALAPPDATA%\\Pinvoro" test \
  "$(tr -d '\r' <"$user_dir/pinvoro.ini" 2>/dev/null | tr '\n' ' ')" = \
  "[RS232C] Port=1 Speed=38400 DataL=8 StopB=0 Parity=0 Lang=0 "
check "and not in the installation folder" test ! -e "$dir/pinvoro.ini"
[ -f "$user_dir/pinvoro.ini" ] || die "no settings to keep through the uninstall"

# Files of the user's: a cable set in the own folder, one saved beside the program.
cp samples/demo.cbl "$user_dir/line 3.cbl"
cp samples/demo.cbl "$dir/saved here.cbl"
cp "$user_dir/pinvoro.ini" "$work/pinvoro.ini"
quiet="$(value QuietUninstallString)"
uninstaller="${quiet#\"}"
uninstaller="${uninstaller%%\"*}"
wine "$uninstaller" ${quiet##*\"}
wineserver -w
check "uninstall leaves only the user's file in the installation folder" \
  test "$(listing "$dir" | tr '\n' ' ')" = "./saved here.cbl "
check "uninstall removes the Start menu folder" test ! -e "$(dirname "$link")"
check "uninstall removes the Apps & features entry" \
  test -z "$(registry_key "$WINEPREFIX/system.reg" "$uninstall_key")"
check "uninstall keeps the user's settings and cable sets" \
  test "$(listing "$user_dir" | tr '\n' ' ')" = "./line 3.cbl ./pinvoro.ini "
check "the settings are as the program left them" cmp -s "$user_dir/pinvoro.ini" "$work/pinvoro.ini"

echo "package: $(basename "$setup") $(stat -c %s "$setup") bytes, $(basename "$zip") $(stat -c %s "$zip") bytes, $((SECONDS - started)) s ($((SECONDS - wine_started)) s under Wine)"
finish
