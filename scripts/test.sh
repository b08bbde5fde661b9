#!/usr/bin/env bash
# Every test: native unit tests under ASan/UBSan, Windows tests under Wine,
# end-to-end tests of the program under Wine and Xvfb, the packages installed
# and uninstalled under Wine, and a short fuzzing run. Installs what is
# missing first. Exits non-zero on any failure.
# FUZZ_SECONDS sets the length of each fuzzing run (default 30).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup.sh
source scripts/env.sh

step() { printf '\n== %s ==\n' "$*"; }
passed=0
# Runs a ctest preset and adds its count to the total; any failure ends the run.
run_ctest() {
  local log="build/ctest-$1.log"
  ctest --preset "$1" 2>&1 | tee "$log"  # pipefail: a failing ctest ends the run here
  passed=$((passed + $(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)))
}

step "native build"
cmake --preset native >/dev/null
cmake --build --preset native
step "native tests"
run_ctest native

step "windows build"
cmake --preset win >/dev/null
cmake --build --preset win
step "windows tests (Wine)"
run_ctest win

step "end-to-end tests (pinvoro.exe under Wine and Xvfb, against unitsim)"
bash tests/e2e/run_e2e.sh 2>&1 | tee build/e2e.log  # pipefail: a failing scenario ends the run here
passed=$((passed + $(sed -n 's/^e2e: \([0-9]*\) passed, 0 failed$/\1/p' build/e2e.log | tail -n 1)))

step "packages (installer and portable zip, installed and uninstalled under Wine)"
bash tests/package/package_test.sh --build build/win 2>&1 | tee build/package.log  # pipefail: a failure ends the run here
passed=$((passed + $(sed -n 's/^package: \([0-9]*\) passed, 0 failed$/\1/p' build/package.log | tail -n 1)))

step "fuzzing"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
bash scripts/fuzz.sh "${FUZZ_SECONDS:-30}"
passed=$((passed + $(ls build/fuzz/tests/fuzz/ | grep -c '^fuzz_')))

step "summary"
echo "$passed passed, 0 failed"
