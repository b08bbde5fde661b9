#!/usr/bin/env bash
# Runs a command (normally `wine PROGRAM.exe ...`) with unitsim playing the
# tester unit on the Wine prefix's COM1.
#
#   with_unitsim.sh [--native-build DIR] [--own-wineserver | --xvfb]
#                   [-e "unitsim command"]... -- COMMAND [ARG]...
#
# DIR holds the native build with sim/unitsim and sim/libpinvoro_modemlines.so
# (default: build/native of this checkout). Each -e runs a control command in
# unitsim before COMMAND starts (e.g. -e "plug straight 50").
#
# Windows that are to appear need a wineserver whose desktop was started on
# the display in use (one started without a display puts every later window
# nowhere): --own-wineserver starts the prefix's wineserver afresh for this
# run on DISPLAY and stops it, with every Wine process of the prefix, when
# COMMAND ends. --xvfb does the same on a private Xvfb on a free display,
# stopped at the end too.
#
# In the prefix (WINEPREFIX, as scripts/env.sh sets it) COM1 is mapped to a
# fixed link, WINEPREFIX/pinvoro-unitsim/com1, that unitsim points at its
# pseudo-terminal, and COM2 and COM9 to devices that do not exist. The
# registry is changed, and wineserver restarted, only when those mappings are
# missing; a wineserver started without the modem-lines library is restarted
# too, since it is wineserver that must refuse a second open of the port. Runs
# that use the same prefix take turns (a lock in that folder).
#
# COMMAND sees PINVORO_UNITSIM_PORT (the control port on 127.0.0.1) and
# PINVORO_UNITSIM_DEVICE (the pseudo-terminal). unitsim's frame log is
# WINEPREFIX/pinvoro-unitsim/frames.log. The exit status is COMMAND's.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$here/scripts/env.sh"

native="$here/build/native"
commands=()
own_server=0
xvfb=0
while (($#)); do
  case "$1" in
    --native-build) native="$2"; shift 2 ;;
    --own-wineserver) own_server=1; shift ;;
    --xvfb) xvfb=1; own_server=1; shift ;;
    -e) commands+=(-e "$2"); shift 2 ;;
    --) shift; break ;;
    *) break ;;
  esac
done
(($#)) || { echo "usage: $0 [--native-build DIR] [--own-wineserver | --xvfb] [-e COMMAND]... -- COMMAND [ARG]..." >&2; exit 2; }

# Absolute: every Wine process loads the library, whatever its directory.
native="$(cd "$native" 2>/dev/null && pwd)" || { echo "with_unitsim: no native build directory" >&2; exit 2; }
unitsim="$native/sim/unitsim"
library="$native/sim/libpinvoro_modemlines.so"
for f in "$unitsim" "$library"; do
  [ -e "$f" ] || { echo "with_unitsim: $f is missing: build the native preset first" >&2; exit 2; }
done
[ -f "$WINEPREFIX/system.reg" ] || { echo "with_unitsim: no Wine prefix at $WINEPREFIX: run scripts/setup.sh" >&2; exit 2; }

dir="$WINEPREFIX/pinvoro-unitsim"
mkdir -p "$dir"
exec 9>"$dir/lock"
flock -w 600 9 || { echo "with_unitsim: $dir is still in use after 10 minutes" >&2; exit 1; }

com1="$dir/com1"
com2="$dir/com2-absent"
com9="$dir/com9-absent"
state="$dir/modemlines"
log="$dir/frames.log"

# Waits up to SECONDS for the command to succeed, looking every 0.1 s.
wait_for() {
  local tries=$(($1 * 10))
  shift
  until "$@"; do
    ((--tries > 0)) || return 1
    sleep 0.1
  done
}

# Everything this script starts is ended when it ends, also on a signal.
unitsim_pid=""
command_pid=""
xvfb_pid=""
clean_up() {
  [ -z "$command_pid" ] || kill -TERM "$command_pid" 2>/dev/null || true
  [ -z "$unitsim_pid" ] || { kill -TERM "$unitsim_pid" 2>/dev/null || true; wait "$unitsim_pid" 2>/dev/null || true; }
  if ((own_server)); then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
  fi
  [ -z "$xvfb_pid" ] || { kill -TERM "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; }
}
trap clean_up EXIT
trap 'exit 143' TERM INT HUP

if ((xvfb)); then
  : >"$dir/xvfb.display"
  # -displayfd picks a free display and writes its number once it serves.
  Xvfb -displayfd 8 -screen 0 1280x1024x24 -nolisten tcp 8>"$dir/xvfb.display" >"$dir/xvfb.log" 2>&1 9>&- &
  xvfb_pid=$!
  wait_for 20 test -s "$dir/xvfb.display" || { echo "with_unitsim: Xvfb did not start (see $dir/xvfb.log)" >&2; exit 1; }
  export DISPLAY=":$(head -n 1 "$dir/xvfb.display")"
fi
if ((own_server)); then
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
fi

# Wine processes of this run load the library; unitsim (built with sanitizers)
# must not, so LD_PRELOAD is given to each Wine command alone.
preload=(env "LD_PRELOAD=$library${LD_PRELOAD:+:$LD_PRELOAD}" "PINVORO_MODEMLINES_DEVICE=$com1"
         "PINVORO_MODEMLINES_STATE=$state")

# The wineserver of this prefix, if one runs, must have the library: it is
# wineserver that opens the port. Its working directory is named after the
# prefix's device and inode.
server_dir="/server-$(printf '%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")"
for proc in /proc/[0-9]*; do
  case "$(readlink "$proc/cwd" 2>/dev/null || true)" in *"$server_dir") ;; *) continue ;; esac
  case "$(readlink "$proc/exe" 2>/dev/null || true)" in */wineserver*) ;; *) continue ;; esac
  if ! grep -qF "$library" "$proc/maps" 2>/dev/null; then
    wineserver -k || true
    wineserver -w || true
  fi
done

# Wine's mount manager turns HKLM\Software\Wine\Ports into dosdevices/comN
# links when wineserver starts, so a changed mapping needs a restart.
port_value() {
  "${preload[@]}" wine reg query 'HKLM\Software\Wine\Ports' /v "$1" 2>/dev/null 9>&- | tr -d '\r' |
    sed -n "s/^[[:space:]]*$1[[:space:]]\{1,\}REG_SZ[[:space:]]\{1,\}//p"
}
if [ "$(port_value COM1)" != "$com1" ] || [ "$(port_value COM2)" != "$com2" ] ||
   [ "$(port_value COM9)" != "$com9" ]; then
  "${preload[@]}" wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$com1" /f >/dev/null 9>&-
  "${preload[@]}" wine reg add 'HKLM\Software\Wine\Ports' /v COM2 /d "$com2" /f >/dev/null 9>&-
  "${preload[@]}" wine reg add 'HKLM\Software\Wine\Ports' /v COM9 /d "$com9" /f >/dev/null 9>&-
  wineserver -k || true
  wineserver -w || true
fi

: >"$log"
out="$dir/unitsim.out"
# Emptied here, not by the redirection below, which happens in the child: the
# readiness check must never see the last run's lines.
: >"$out"
# The lock stays with this script: a wineserver started by the command would
# otherwise hold it after we are gone.
"$unitsim" --modem-state "$state" --link "$com1" --log "$log" "${commands[@]}" >"$out" 9>&- &
unitsim_pid=$!
unitsim_ready() {
  kill -0 "$unitsim_pid" 2>/dev/null || { echo "with_unitsim: unitsim did not start" >&2; exit 1; }
  [ "$(wc -l <"$out")" -ge 2 ]
}
wait_for 30 unitsim_ready || true
device="$(sed -n 's/^device //p' "$out")"
port="$(sed -n 's/^control //p' "$out")"
if [ -z "$device" ] || [ -z "$port" ]; then
  echo "with_unitsim: unitsim gave no device or port; it printed:" >&2
  cat "$out" >&2
  ps -o pid,stat,etime,args -p "$unitsim_pid" >&2 || true
  exit 1
fi

export PINVORO_UNITSIM_PORT="$port" PINVORO_UNITSIM_DEVICE="$device"
status=0
# In the background, so that a signal to this script is handled at once.
"${preload[@]}" "$@" 9>&- &
command_pid=$!
wait "$command_pid" || status=$?
command_pid=""
if ((status != 0)); then echo "with_unitsim: frames on the line are in $log" >&2; fi
exit "$status"
