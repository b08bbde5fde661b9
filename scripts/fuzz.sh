#!/usr/bin/env bash
# Runs every libFuzzer target for the given number of seconds from its seed
# corpus; a crash or sanitizer report fails the run and keeps the input.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
seconds="${1:-30}"
out=build/fuzz/findings
mkdir -p "$out"
for target in build/fuzz/tests/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name="$(basename "$target")"
  corpus="build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  seeds="tests/fuzz/seeds/$name"
  echo "fuzz: $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -print_final_stats=0 -artifact_prefix="$out/$name-" \
    "$corpus" $( [ -d "$seeds" ] && echo "$seeds" ) >"$out/$name.log" 2>&1 || {
      tail -n 40 "$out/$name.log"; echo "fuzz: $name failed" >&2; exit 1; }
  grep -E '^#[0-9]+ +DONE' "$out/$name.log" || tail -n 2 "$out/$name.log"
done
