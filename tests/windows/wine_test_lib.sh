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

# The system's NAT object unregistered in the test's prefix (creating it then fails with
# 0x80040154, while the firewall's objects still work), and registered again.
nat_key='HKCR\CLSID\{AE1E00AA-3FD5-403C-8A27-2BBDC30CD0E1}'
unregister_nat() {
  if [ ! -s "$work/nat.reg" ]; then
    wine reg export "$nat_key" "$(winepath -w "$work/nat.reg")" /y >/dev/null 2>&1 ||
      fail "the NAT object's registration could not be saved"
    cleanup_steps=("wine reg import '$(winepath -w "$work/nat.reg")' >/dev/null 2>&1" "${cleanup_steps[@]}")
  fi
  wine reg delete "$nat_key" /f >/dev/null 2>&1 || fail "the NAT object could not be unregistered"
}
restore_nat() { wine reg delete "$nat_key" /f >/dev/null 2>&1 || true; wine reg import "$(winepath -w "$work/nat.reg")" >/dev/null 2>&1; }

# The stand-in firewall (tests/windows/standin_firewall) registered in the test's prefix
# under the firewall's two classes, and the system's registration put back afterwards.
register_standin_firewall() {
  local clsid key
  for clsid in '{304CE942-6E39-40D8-943A-B913C40C9CD4}' '{0CA545C6-37AD-4A6C-BF92-9F7610067EF5}'; do
    key="HKCR\\CLSID\\$clsid"
    wine reg export "$key" "$(winepath -w "$work/$clsid.reg")" /y >/dev/null 2>&1 ||
      fail "the firewall's registration could not be saved"
    cleanup_steps=("wine reg delete '$key' /f >/dev/null 2>&1; wine reg import '$(winepath -w "$work/$clsid.reg")' >/dev/null 2>&1"
                   "${cleanup_steps[@]}")
    wine reg delete "$key" /f >/dev/null 2>&1 &&
      wine reg add "$key\InprocServer32" /ve /d "$(winepath -w "$1")" /f >/dev/null 2>&1 &&
      wine reg add "$key\InprocServer32" /v ThreadingModel /d Both /f >/dev/null 2>&1 ||
      fail "the stand-in firewall could not be registered"
  done
}

# The system's firewall registered again in place of the stand-in.
restore_firewall() {
  local clsid key
  for clsid in '{304CE942-6E39-40D8-943A-B913C40C9CD4}' '{0CA545C6-37AD-4A6C-BF92-9F7610067EF5}'; do
    key="HKCR\\CLSID\\$clsid"
    wine reg delete "$key" /f >/dev/null 2>&1 || true
    wine reg import "$(winepath -w "$work/$clsid.reg")" >/dev/null 2>&1
  done
}

# expect_bytes FILE BYTES [WHAT]: the file holds exactly these bytes.
expect_bytes() {
  local expected actual
  expected=$(printf '%s' "$2" | od -An -c)
  actual=$(od -An -c "$1" 2>/dev/null) || fail "${3:-$1}: no such file"
  [ "$actual" = "$expected" ] || fail "${3:-$1}: expected bytes$(printf '\n%s' "$expected")"$'\n'"got$(printf '\n%s' "$actual")"
}

# expect_rules CHAIN PORT PROTOCOLS RULE OTHER WHAT: the gateway's CHAIN holds a rule
# matching RULE for each of PROTOCOLS, and none matching OTHER for the others ({n}: the
# protocol's number as nft shows it; WHAT names the rule in a failure).
expect_rules() {
  local rules protocol number
  rules=$("$lab" exec gw nft list chain inet filter "$1" 2>&1) || fail "no gateway rules: $rules"
  for protocol in TCP UDP; do
    number=0x11; [ $protocol = UDP ] || number=0x6
    if [[ " $3 " == *" $protocol "* ]]; then
      grep -qE "${4//\{n\}/$number}" <<<"$rules" || fail "the gateway has no $6 for $protocol $2:"$'\n'"$rules"
    else
      ! grep -qE "${5//\{n\}/$number}" <<<"$rules" || fail "the gateway has a $6 for $protocol $2:"$'\n'"$rules"
    fi
  done
}

# expect_held PORT PROTOCOLS: the gateway forwards exactly these protocols of PORT, to
# the client, whichever protocol mapped them.
expect_held() {
  expect_rules prerouting_miniupnpd "$1" "$2" "@nh,72,8 {n} th dport $1 dnat ip to 10\.77\.0\.2:$1\b" \
    "@nh,72,8 {n} th dport $1 dnat" "mapping to 10.77.0.2"
}

# expect_pinholes PORT PROTOCOLS: the gateway's IPv6 firewall lets exactly these
# protocols of PORT in, each to the client's global address 2001:db8:77::2.
expect_pinholes() {
  expect_rules miniupnpd "$1" "$2" "th dport $1 @nh,192,128 0x20010db8007700000000000000000002 @nh,48,8 {n} accept" \
    "th dport $1 @nh,192,128 0x[0-9a-f]+ @nh,48,8 {n} accept" "IPv6 pinhole to 2001:db8:77::2"
}
