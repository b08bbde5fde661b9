#!/usr/bin/env bash
# Mutation check of the portable sources against the native unit tests; see
# the README's "Mutation check". Works on a copy under build/mutate only.
set -euo pipefail
exec python3 "$(dirname "${BASH_SOURCE[0]}")/mutate.py" "$@"
