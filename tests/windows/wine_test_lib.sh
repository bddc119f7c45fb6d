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

# A class's registration in the test's prefix is saved once, put back when the test ends,
# and by restore_class KEY at once.
saved() { printf '%s/%s.reg' "$work" "${1##*\\}"; }
restore_class() { wine reg delete "$1" /f >/dev/null 2>&1 || true; wine reg import "$(winepath -w "$(saved "$1")")" >/dev/null 2>&1; }
save_class() {
  [ ! -s "$(saved "$1")" ] || return 0
  wine reg export "$1" "$(winepath -w "$(saved "$1")")" /y >/dev/null 2>&1 || fail "the registration of $1 could not be saved"
  cleanup_steps=("restore_class '$1'" "${cleanup_steps[@]}")
}
# register_server KEY DLL: our DLL serves the class in place of the system's.
register_server() {
  save_class "$1"
  wine reg delete "$1" /f >/dev/null 2>&1 || fail "$1 could not be unregistered"
  [ -z "${2:-}" ] || { wine reg add "$1\InprocServer32" /ve /d "$(winepath -w "$2")" /f >/dev/null 2>&1 &&
    wine reg add "$1\InprocServer32" /v ThreadingModel /d Both /f >/dev/null 2>&1; } || fail "$2 could not be registered"
}

# The system's NAT object unregistered in the test's prefix (creating it then fails with
# 0x80040154, while the firewall's objects still work), and registered again.
nat_key='HKCR\CLSID\{AE1E00AA-3FD5-403C-8A27-2BBDC30CD0E1}'
unregister_nat() { register_server "$nat_key"; }
restore_nat() { restore_class "$nat_key"; }

# The stand-in firewall (tests/windows/standin_firewall) under the firewall's two classes,
# keeping its entries in FILE (KAVRO_STANDIN_FIREWALL), and the system's put back.
firewall_keys=('HKCR\CLSID\{304CE942-6E39-40D8-943A-B913C40C9CD4}' 'HKCR\CLSID\{0CA545C6-37AD-4A6C-BF92-9F7610067EF5}')
register_standin_firewall() {
  local key
  for key in "${firewall_keys[@]}"; do register_server "$key" "$1"; done
  : >"$2"
  export KAVRO_STANDIN_FIREWALL; KAVRO_STANDIN_FIREWALL=$(winepath -w "$2")
}
restore_firewall() { local key; for key in "${firewall_keys[@]}"; do restore_class "$key"; done; }

# A port no earlier run of the same Wine prefix used.
fresh_port() { echo $(( 20000 + (RANDOM * 32768 + RANDOM) % 40000 )); }
# windows_folder VARIABLE [MORE]: the Windows folder the variable names (and MORE after it), as a Linux path.
windows_folder() { winepath -u "$(cd "$work" && wine cmd /c "echo %$1%" </dev/null | tr -d '\r')${2:-}"; }

# expect_said NAME OUTPUT PIECES: each ";"-separated piece is in OUTPUT ("!" first: is
# not; ">>" first: in one of its headline lines); {port} is $port.
expect_said() {
  local piece said
  IFS=';' read -ra said <<<"$3"
  for piece in "${said[@]}"; do
    piece=${piece//\{port\}/${port:-}}
    case $piece in
      '!'*) ! grep -qF "${piece:1}" "$2" || fail "$1: \"${piece:1}\" in: $(cat "$2")" ;;
      '>>'*) grep -qF "${piece:2}" <(grep '^>> ' "$2") || fail "$1: no headline \"${piece:2}\" in: $(cat "$2")" ;;
      *) grep -qF "$piece" "$2" || fail "$1: no \"$piece\" in: $(cat "$2")" ;;
    esac
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
