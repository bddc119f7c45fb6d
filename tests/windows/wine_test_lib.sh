# Shared by the Wine black-box tests; sourced, with lab set to the lab script.
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
  command -v upnpc >/dev/null || skip "upnpc (miniupnpc) is not installed"
}

# expect_bytes FILE BYTES [WHAT]: the file holds exactly these bytes.
expect_bytes() {
  local expected actual
  expected=$(printf '%s' "$2" | od -An -c)
  actual=$(od -An -c "$1" 2>/dev/null) || fail "${3:-$1}: no such file"
  [ "$actual" = "$expected" ] || fail "${3:-$1}: expected bytes$(printf '\n%s' "$expected")"$'\n'"got$(printf '\n%s' "$actual")"
}

# expect_held PORT PROTOCOLS: the gateway maps exactly these protocols of PORT, to the client.
expect_held() {
  local listing protocol; listing=$(upnpc -l 2>&1) || fail "upnpc -l failed: $listing"
  for protocol in TCP UDP; do
    if [[ " $2 " == *" $protocol "* ]]; then
      grep -qE "$protocol +$1->10\.77\.0\.2:$1 " <<<"$listing" || fail "gateway lacks $protocol $1:"$'\n'"$listing"
    else
      ! grep -qE "$protocol +$1->" <<<"$listing" || fail "gateway holds $protocol $1:"$'\n'"$listing"
    fi
  done
}
