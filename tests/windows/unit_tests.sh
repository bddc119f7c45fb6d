#!/usr/bin/env bash
# A googletest program of ours under Wine, in the namespace scripts/test-windows made.
# usage: unit_tests.sh TESTS_EXE
set -euo pipefail
. "$(dirname "$0")/wine_test_lib.sh"
wine "$1" </dev/null || fail "$1 failed"
echo "ok: $(basename "$1")"
