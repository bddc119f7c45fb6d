#!/usr/bin/env bash
# Kavro.exe under Wine, black box: the Windows text-mode files, the address capture
# through the command shell and ipconfig, and the dispatch on the command word.
# usage: kavro_exe_test.sh CASE KAVRO_EXE
set -euo pipefail
case_name=$1 KAVRO=$2
. "$(dirname "$0")/wine_test_lib.sh"

# The capture file, where the module's %TEMP% and GetTempPathA both point.
capture_file() {
  local temp
  temp=$(cd "$work" && wine cmd /c 'echo %TEMP%' </dev/null | tr -d '\r')
  winepath -u "$temp\\ip_c.tmp" 2>/dev/null
}

no_command_file() {
  local capture; capture=$(capture_file)
  rm -f "$capture"
  run_kavro
  expect_result $'1\r\n'
  # The address capture ran first all the same: ipconfig's CR LF report.
  [ -f "$capture" ] || fail "no capture file at $capture"
  grep -q $'^    IPv4 address[ .]*: 127.0.0.1\r$' "$capture" || fail "capture is not ipconfig's report: $(cat -A "$capture")"
}

# Addresses of this namespace as ip lists them, in interface order, loopback first.
namespace_addresses() { ip -4 -o addr show | awk '{sub(/\/.*/, "", $4); print $4}'; }

getips_lists_the_namespace_addresses() {
  [ "$(id -u)" -eq 0 ] || skip "needs root to add test interfaces"
  # Interfaces of our own beside whatever the namespace has: two addresses on one,
  # a third on the other. Deleting one end removes the pair.
  ip link add kwtest0 type veth peer name kwtest1
  cleanup_steps+=("ip link del kwtest0")
  ip addr add 10.9.0.1/24 dev kwtest0
  ip addr add 10.9.0.7/24 dev kwtest0
  ip addr add 10.9.1.1/24 dev kwtest1
  ip link set kwtest0 up
  ip link set kwtest1 up
  local expected; expected=$(namespace_addresses | crlf_lines)$'\n'
  grep -q '^10\.9\.0\.7' <<<"$expected" || fail "test interfaces missing from ip's list"

  local command
  # As the window writes it, then with lines after the command, then without a line end.
  for command in $'getips\r\n' $'getips\r\nkavro\r\n10.77.0.2\r\n' 'getips'; do
    rm -f "$work/log.txt"
    command_file "$command"
    run_kavro
    expect_result "$expected" "getips from ${command@Q}"
    [ ! -s "$work/console.txt" ] || fail "getips printed: $(cat "$work/console.txt")"
  done
}

# A capture that fails is "ERROR", never an earlier run's addresses: ipconfig not on
# the PATH (the shell still makes an empty file), or a capture left read-only that
# neither ipconfig nor the module can replace.
failed_capture_answers_error() {
  local capture kavro_w; capture=$(capture_file); kavro_w=$(winepath -w "$KAVRO")
  cleanup_steps+=("chmod u+w '$capture'; rm -f '$capture'")
  command_file $'getips\r\n'
  printf '    IPv4 address. . . . . . . . . . . : 6.6.6.6\r\n' >"$capture"
  rm -f "$work/log.txt"
  (cd "$work" && wine cmd /c "set PATH=C:\\nowhere&& $kavro_w" >"$work/console.txt" 2>&1 </dev/null) ||
    fail "wine Kavro.exe exited with $?"
  expect_result $'ERROR\r\n' "without ipconfig"
  printf '    IPv4 address. . . . . . . . . . . : 6.6.6.6\r\n' >"$capture"
  chmod a-w "$capture"
  rm -f "$work/log.txt"
  run_kavro
  expect_result $'ERROR\r\n' "with a read-only earlier capture"
}

unknown_command_keeps_the_result() {
  local command
  # Not the command word exactly: no result is written, the earlier one stays.
  for command in $'GETIPS\r\n' $'getips \r\n' $' kavro\r\n' $'\r\n' ''; do
    printf 'earlier\r\n' >"$work/log.txt"
    command_file "$command"
    run_kavro
    expect_result $'earlier\r\n' "after ${command@Q}"
  done
}

"$case_name"
echo "ok: $case_name"
