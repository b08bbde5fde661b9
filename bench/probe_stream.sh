#!/usr/bin/env bash
# The probe stream benchmark: the real pinvoro.exe under Wine on a private
# Xvfb, in Probe and/or Probe+ mode, while unitsim streams ProbeState frames
# back to back at the line's speed. Prints one table: frames sent, the main
# window's response time idle and while streaming, the time from Finish until
# the unit stops and until Start is enabled again, the program's CPU share and
# any error box (see bench/probe_stream_win.cpp for each column).
#
#   probe_stream.sh [--seconds N] [--speed BAUD[,BAUD...]] [--mode probe|probeplus|both]
#                   [--exe PATH] [--no-build]
#
# Defaults: 60 s, 38400, both modes, build/win/src/pinvoro.exe. --exe measures
# another build of the program with the same driver and unitsim. Unless
# --no-build, builds the driver (win preset), unitsim and the modem-lines
# library (native preset), and pinvoro.exe when --exe is not given.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$here/scripts/env.sh"

seconds=60
speeds=38400
modes=probe,probeplus
exe=""
build=1
while (($#)); do
  case "$1" in
    --seconds) seconds="$2"; shift 2 ;;
    --speed) speeds="$2"; shift 2 ;;
    --mode)
      case "$2" in
        probe | probeplus) modes="$2" ;;
        both) modes=probe,probeplus ;;
        *) echo "probe_stream: --mode takes probe, probeplus or both" >&2; exit 2 ;;
      esac
      shift 2 ;;
    --exe) exe="$2"; shift 2 ;;
    --no-build) build=0; shift ;;
    *) sed -n '9,10p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
  esac
done

cd "$here"
if ((build)); then
  win_targets=(probe_stream_win)
  [ -n "$exe" ] || win_targets+=(pinvoro)
  cmake --preset win >/dev/null
  cmake --build --preset win -j2 --target "${win_targets[@]}"
  cmake --preset native >/dev/null
  cmake --build --preset native -j2 --target unitsim pinvoro_modemlines
fi
exe="$(realpath "${exe:-build/win/src/pinvoro.exe}")"
driver="$here/build/win/bench/probe_stream_win.exe"
for f in "$exe" "$driver"; do
  [ -f "$f" ] || { echo "probe_stream: $f is missing" >&2; exit 2; }
done

scratch="$here/build/bench-scratch/probe-stream"
mkdir -p "$scratch"
runs=$(( $(tr ',' '\n' <<<"$speeds" | wc -l) * $(tr ',' '\n' <<<"$modes" | wc -l) ))
# A backstop only: every wait of the driver has its own time-out.
timeout $((runs * (seconds + 120) + 120)) bash tests/win/with_unitsim.sh --xvfb -- \
  wine "$driver" --exe "$exe" --scratch "$scratch" --seconds "$seconds" --speeds "$speeds" --modes "$modes" |
  tr -d '\r'
