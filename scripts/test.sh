#!/usr/bin/env bash
# Every test: native unit tests under ASan/UBSan, Windows tests under Wine, and
# a short fuzzing run. Installs what is missing first. Exits non-zero on any
# failure. FUZZ_SECONDS sets the length of each fuzzing run (default 30).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup.sh
source scripts/env.sh

step() { printf '\n== %s ==\n' "$*"; }

step "native build"
cmake --preset native >/dev/null
cmake --build --preset native
step "native tests"
ctest --preset native

step "windows build"
cmake --preset win >/dev/null
cmake --build --preset win
step "windows tests (Wine)"
ctest --preset win

step "fuzzing"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
bash scripts/fuzz.sh "${FUZZ_SECONDS:-30}"

step "all tests passed"
