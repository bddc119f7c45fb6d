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
  command -v upnpc >/dev/null || skip "upnpc (miniupnpc) is not installed"
}

# The system's NAT object unregistered in the test's prefix (creating it then fails with
# 0x80040154): its registration saved first, and put back by restore_nat or when the test ends.
nat_key='HKCR\CLSID\{AE1E00AA-3FD5-403C-8A27-2BBDC30CD0E1}' nat_saved=$work/nat.reg
restore_nat() { wine reg delete "$nat_key" /f >/dev/null 2>&1 || true; wine reg import "$(winepath -w "$nat_saved")" >/dev/null 2>&1; }
unregister_nat() {
  if [ ! -s "$nat_saved" ]; then
    wine reg export "$nat_key" "$(winepath -w "$nat_saved")" /y >/dev/null 2>&1 || fail "the NAT object's registration could not be saved"
    cleanup_steps=(restore_nat "${cleanup_steps[@]}")
  fi
  wine reg delete "$nat_key" /f >/dev/null 2>&1 || fail "the NAT object could not be unregistered"
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

# expect_held PORT PROTOCOLS: the gateway forwards exactly these protocols of PORT, to
# the client, whichever protocol mapped them.
expect_held() {
  local rules protocol number
  rules=$("$lab" exec gw nft list chain inet filter prerouting_miniupnpd 2>&1) || fail "no gateway rules: $rules"
  for protocol in TCP UDP; do
    number=0x11; [ $protocol = UDP ] || number=0x6
    if [[ " $2 " == *" $protocol "* ]]; then
      grep -qE "@nh,72,8 $number th dport $1 dnat ip to 10\.77\.0\.2:$1\b" <<<"$rules" ||
        fail "the gateway has no mapping to 10.77.0.2 for $protocol $1:"$'\n'"$rules"
    else
      ! grep -qE "@nh,72,8 $number th dport $1 dnat" <<<"$rules" || fail "the gateway has a mapping for $protocol $1:"$'\n'"$rules"
    fi
  done
}
