#!/usr/bin/env bash
# Runs the end-to-end tests: the real pinvoro.exe under Wine on a private Xvfb
# display, with unitsim on COM1 (through tests/win/with_unitsim.sh).
#
#   run_e2e.sh [--win-build DIR] [--native-build DIR] [GOOGLETEST OPTION]...
#   run_e2e.sh --gtest_filter='Modes.*'          # some scenarios only
#
# Builds nothing: DIR defaults to build/win (pinvoro.exe, the e2e programs)
# and build/native (unitsim, the modem-lines library). Screenshots of every
# scenario's final state go to build/e2e-artifacts/<Suite>.<Test>.png (also
# for failures), the scenarios' working directories to build/e2e-scratch.
# The last line is "e2e: N passed, M failed"; the exit status is non-zero on
# any failure.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$here/scripts/env.sh"

win="$here/build/win"
native="$here/build/native"
while (($#)); do
  case "$1" in
    --win-build) win="$2"; shift 2 ;;
    --native-build) native="$2"; shift 2 ;;
    *) break ;;
  esac
done
tests="$win/tests/e2e/e2e_tests.exe"
[ -f "$tests" ] || { echo "run_e2e: $tests is missing: build the win preset first" >&2; exit 2; }

export PINVORO_E2E_PROGRAM="$win/src/pinvoro.exe"
# Both can be set from outside, so that two runs on one checkout keep apart.
export PINVORO_E2E_ARTIFACTS="${PINVORO_E2E_ARTIFACTS:-$here/build/e2e-artifacts}"
export PINVORO_E2E_SCRATCH="${PINVORO_E2E_SCRATCH:-$here/build/e2e-scratch}"
rm -rf "$PINVORO_E2E_ARTIFACTS" "$PINVORO_E2E_SCRATCH"
mkdir -p "$PINVORO_E2E_ARTIFACTS" "$PINVORO_E2E_SCRATCH"

log="$PINVORO_E2E_ARTIFACTS/e2e.log"
status=0
# A backstop only: every wait of the scenarios has its own time-out.
timeout 900 bash "$here/tests/win/with_unitsim.sh" --xvfb --native-build "$native" -- \
  wine "$tests" --gtest_color=no "$@" 2>&1 | tee "$log" || status=$?

passed="$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$log" | tail -n 1)"
failed="$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\{0,1\}, listed below.*/\1/p' "$log" | tail -n 1)"
passed="${passed:-0}"
failed="${failed:-0}"

# A crash or a time-out counts as one failure.
if ((status != 0 && failed == 0)); then failed=1; fi
echo "screenshots: $PINVORO_E2E_ARTIFACTS"
echo "e2e: $passed passed, $failed failed"
exit "$status"
