# Shared by the window's tests and the unit tests under Wine; sourced, with lab set to the lab script.
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

# in_lab: skips unless this is the gateway lab's client namespace, 10.77.0.2.
in_lab() {
  [ "$(ip netns identify $$ 2>/dev/null)" = "$("$lab" ns lan)" ] || skip "not in the gateway lab's client namespace"
}

# A port no earlier run of the same Wine prefix used.
fresh_port() { echo $(( 20000 + (RANDOM * 32768 + RANDOM) % 40000 )); }
# expect_bytes FILE BYTES [WHAT]: the file holds exactly these bytes.
expect_bytes() {
  local expected actual
  expected=$(printf '%s' "$2" | od -An -c)
  actual=$(od -An -c "$1" 2>/dev/null) || fail "${3:-$1}: no such file"
  [ "$actual" = "$expected" ] || fail "${3:-$1}: expected bytes$(printf '\n%s' "$expected")"$'\n'"got$(printf '\n%s' "$actual")"
}
