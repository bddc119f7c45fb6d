# Shared by the Wine black-box tests: run Kavro.exe as the window runs it (no
# arguments, in a directory that holds the two files) and compare exact bytes.
# Sourced, with KAVRO set to the program's path.

fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "SKIP: $*"; exit 77; }

# Wine sends real multicast: it runs only in the network namespace that
# scripts/test-windows made for it (and started Wine's services in), never elsewhere.
[ -n "${KAVRO_WINE_NETNS:-}" ] && [ "$(readlink /proc/self/ns/net)" = "$KAVRO_WINE_NETNS" ] ||
  fail "refusing to run Wine outside the namespace scripts/test-windows prepared; run the tests through it"
command -v wine >/dev/null || skip "wine is not installed"

work=$(mktemp -d)
cleanup_steps=("rm -rf '$work'")
cleanup() { local step; for step in "${cleanup_steps[@]}"; do eval "$step" || true; done; }
trap cleanup EXIT

# run_kavro: one module run in $work; sets elapsed_ms and keeps its console output.
run_kavro() {
  local start end
  start=$(date +%s%N)
  (cd "$work" && wine "$KAVRO" >"$work/console.txt" 2>&1 </dev/null) || fail "wine Kavro.exe exited with $?"
  end=$(date +%s%N)
  elapsed_ms=$(( (end - start) / 1000000 ))
}

# command_file BYTES: the command file as the window writes it.
command_file() { printf '%s' "$1" >"$work/kavro.cmd"; }

# expect_bytes FILE BYTES [WHAT]: the file holds exactly these bytes.
expect_bytes() {
  local expected actual
  expected=$(printf '%s' "$2" | od -An -c)
  actual=$(od -An -c "$1" 2>/dev/null) || fail "${3:-$1}: no such file"
  [ "$actual" = "$expected" ] || fail "${3:-$1}: expected bytes$(printf '\n%s' "$expected")"$'\n'"got$(printf '\n%s' "$actual")"
}

# expect_result BYTES [WHAT]: log.txt holds exactly these bytes.
expect_result() { expect_bytes "$work/log.txt" "$1" "${2:-log.txt}"; }

# crlf_lines: stdin's lines with CR LF line ends, as the module's text mode writes them.
crlf_lines() { sed 's/$/\r/'; }
