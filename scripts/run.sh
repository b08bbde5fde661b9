#!/usr/bin/env bash
# The demo: Pinvoro under Wine against the simulated tester unit, with cable 1
# of samples/demo.cbl plugged into unitsim and the unit ready (DSR on) on COM1.
# Installs and builds what is missing first.
#
# With a display ($DISPLAY) the program opens there and the demo ends when you
# close it; without one it runs on a private Xvfb and is closed again once its
# screenshot is taken. Either way the screenshot's path is printed, and every
# process the demo started is ended with it.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
here="$PWD"
bash scripts/setup.sh
source scripts/env.sh

# unitsim and the modem-lines library are native; the program and the tool
# that takes its screenshot are Windows programs.
cmake --preset native >/dev/null
cmake --build --preset native --target unitsim pinvoro_modemlines
cmake --preset win >/dev/null
cmake --build --preset win --target pinvoro e2e_snapshot

# A fresh working directory: no pinvoro.ini, so the defaults (COM1, Japanese).
work="$here/build/demo"
rm -rf "$work"
mkdir -p "$work"
png="$work/pinvoro.png"
if [ -n "${DISPLAY:-}" ]; then
  display=(--own-wineserver)
  keep=(--keep-open)
  echo "run: Pinvoro opens on $DISPLAY; close it to end the demo"
else
  display=(--xvfb)
  keep=()
fi
bash tests/win/with_unitsim.sh "${display[@]}" -e "plug cbl 0 $here/samples/demo.cbl" -e "dsr on" -- \
  wine build/win/tests/e2e/e2e_snapshot.exe build/win/src/pinvoro.exe "$work" "$png" \
    "$here/samples/demo.cbl" "${keep[@]}"
echo "run: Pinvoro opened samples/demo.cbl; unitsim had its cable 1 plugged in"
echo "screenshot: $png"
